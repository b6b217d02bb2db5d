#include "download/runoutcome.h"

namespace tw {

const char* OutcomeName(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Done:
      return "done";
    case RunOutcome::Failed:
      return "failed";
    case RunOutcome::Stopped:
      return "stopped";
  }
  return "failed";
}

}  // namespace tw
