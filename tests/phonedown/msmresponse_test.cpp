#include "phonedown/cmsmpacket/msmresponse.h"

#include <gtest/gtest.h>

#include <vector>

namespace tw {
namespace {

TEST(MsmResponse, CodeAndAcknowledgement) {
  struct Case {
    std::vector<BYTE> response;
    BYTE code;
    BOOL acknowledged;
  };
  const Case cases[] = {
      {{0x7E, 0x02, 0x6A, 0xD3, 0x7E}, ACK, TRUE},
      {{0x02}, ACK, TRUE},
      {{0x7F, 0x02}, ACK, TRUE},
      {{0x4F, 0x4B}, 0x4F, TRUE},
      {{0x4F, 0x4B, 0xA1, 0x00}, 0x4F, TRUE},
      {{0x7F, 0xA1, 0x00, 0x7E}, NAK_BAD_CRC, FALSE},
      {{0xA1}, NAK_BAD_CRC, FALSE},
      {{0x7E, 0x03, 0x7E}, 0x03, FALSE},
      {{0x4F}, 0x4F, FALSE},
      {{0x4B, 0x4F}, 0x4B, FALSE},
      {{0x7D, 0x02}, 0x7D, FALSE},  // only 0x7E and 0x7F lead a code
      {{0x7E}, 0, FALSE},           // a flag alone carries no code
      {{}, 0, FALSE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.response));
    EXPECT_EQ(GetResponseCode(c.response), c.code);
    EXPECT_EQ(IsAcknowledgement(c.response), c.acknowledged);
  }
}

// The whole answers among what arrived: the last one, and whether an answer
// begun after it is still unfinished.
TEST(MsmResponse, WholeAnswersInWhatArrived) {
  struct Case {
    std::vector<BYTE> bytes;
    std::vector<BYTE> last;
    bool bUnfinished;
  };
  const Case cases[] = {
      {{0x7E, 0x02, 0x6A, 0xD3, 0x7E}, {0x7E, 0x02, 0x6A, 0xD3, 0x7E}, false},
      {{0x7E, 0x02, 0x6A}, {}, true},
      {{0x7E}, {}, true},
      {{'O', 'K'}, {'O', 'K'}, false},
      {{'O'}, {}, true},
      {{0x7F, 0xA1, 0x00, 0x7E}, {0x7F, 0xA1, 0x00, 0x7E}, false},
      // Two answers: the last counts; one begun after a whole one is unfinished.
      {{0x7E, 0xA1, 0x7E, 0x7E, 0x02, 0x7E}, {0x7E, 0x02, 0x7E}, false},
      {{0x7E, 0x02, 0x7E, 0x7E, 0xA1}, {0x7E, 0x02, 0x7E}, true},
      {{'O', 'K', 0x7E, 0xA1, 0x7E}, {0x7E, 0xA1, 0x7E}, false},
      // Two flags in a row: the second opens the frame.
      {{0x7E, 0x7E, 0x02, 0x7E}, {0x7E, 0x02, 0x7E}, false},
      // The rest of an answer whose beginning went elsewhere, then a whole one.
      {{0x6A, 0xD3, 0x7E, 0x7E, 0x02, 0x6A, 0xD3, 0x7E}, {0x7E, 0x02, 0x6A, 0xD3, 0x7E}, false},
      // Bytes outside answers (a padding 0x00, noise) are passed over.
      {{0x7E, 0x02, 0x7E, 0x00, 0x55}, {0x7E, 0x02, 0x7E}, false},
      {{0x00, 0x55, 'O', 0x4C}, {}, false},
      {{}, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    const WholeAnswers found = FindWholeAnswers(c.bytes);
    EXPECT_EQ(std::vector<BYTE>(found.last.begin(), found.last.end()), c.last);
    EXPECT_EQ(found.bUnfinished, c.bUnfinished);
  }
}

}  // namespace
}  // namespace tw
