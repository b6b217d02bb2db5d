// A run that stops without its end message is noticed; runs that hand over
// to the phone, are still writing or get their end message are not.
#include "cli/stallwatch.h"

#include <gtest/gtest.h>

#include <vector>

namespace tw {
namespace {

// Slot 0's flags at one look.
struct Look {
  int nDownStart;
  int nRundnload;
  int nPhoneStage;
};

TEST(StallWatch, SequencesOfLooks) {
  struct Case {
    const char* name;
    std::vector<Look> looks;
    bool bStalled;  // after the last look
  };
  const Case cases[] = {
      {"WorkerEndedSilently", {{1, 1, 0}, {1, 0, 0}, {1, 0, 0}}, true},
      {"OneQuietLookIsNotEnough", {{1, 1, 0}, {1, 0, 0}}, false},
      {"StartedButNotYetWriting", {{1, 0, 0}, {1, 0, 0}, {1, 0, 0}}, false},
      {"StillWriting", {{1, 1, 0}, {1, 1, 0}, {1, 1, 0}}, false},
      {"HandedOverToThePhone", {{1, 1, 0}, {1, 0, 1}, {1, 0, 1}, {1, 0, 1}}, false},
      {"EndMessageCame", {{1, 1, 0}, {0, 0, 0}, {0, 0, 0}}, false},
      {"NextRunStartsAfresh", {{1, 1, 0}, {0, 0, 0}, {1, 0, 0}, {1, 0, 0}}, false},
      {"WritingAgainResetsTheCount", {{1, 1, 0}, {1, 0, 0}, {1, 1, 0}, {1, 0, 0}}, false},
  };
  for (const Case& c : cases) {
    CStallWatch watch;
    DownloadOwnerFlags flags;
    bool bStalled = false;
    for (const Look& look : c.looks) {
      flags.m_bDownStart = look.nDownStart;
      flags.m_bRundnload = look.nRundnload;
      flags.m_bPhoneStage[0] = look.nPhoneStage;
      bStalled = watch.Stalled(flags);
    }
    EXPECT_EQ(bStalled, c.bStalled) << c.name;
  }
}

}  // namespace
}  // namespace tw
