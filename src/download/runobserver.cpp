#include "download/runobserver.h"

namespace tw {

const char* RunStageName(RunStage stage) {
  switch (stage) {
    case RunStage::Hello:
      return "hello";
    case RunStage::Eboot:
      return "eboot";
    case RunStage::OsImage:
      return "os_image";
    case RunStage::PhoneMode:
      return "phone_mode";
    case RunStage::PortOpening:
      return "port_opening";
    case RunStage::Phone:
      return "phone";
    case RunStage::Region:
      return "region";
  }
  return "hello";
}

}  // namespace tw
