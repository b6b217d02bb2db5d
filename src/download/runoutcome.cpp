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

const char* StageEndName(StageEnd end) {
  switch (end) {
    case StageEnd::Done:
      return "done";
    case StageEnd::HandedOver:
      return "handed_over";
    case StageEnd::Failed:
      return "failed";
    case StageEnd::Stopped:
      return "stopped";
  }
  return "failed";
}

}  // namespace tw
