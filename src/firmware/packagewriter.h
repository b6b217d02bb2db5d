// The packaging step: a copy of the upgrader executable with the EBOOT image
// (optional), the PDA image and the phone image appended back to back and
// sImageHeader last. The output appears whole or not at all: it is written
// to a temporary file beside it and renamed.
#pragma once
#include <string>

#include "firmware/imageheader.h"
#include "platform/wintypes.h"

namespace tw {

struct PackRequest {
  std::string upgrader;  // the executable to copy
  std::string eboot;     // empty: no EBOOT image
  std::string pda;
  std::string phone;
  std::string output;
  DWORD phoneFullSet = 1;
  DWORD phoneExtraCmd = 0;
};

// Writes the package. On failure returns false with a message in *error
// and leaves no output file (an existing one is left as it was).
// *written receives the record that ends the package.
bool WritePackage(const PackRequest& request, sImageHeader* written, std::string* error);

}  // namespace tw
