// Image selections given up front (the upgrader's --eboot, --pda, --phone
// and --onefile options): the developer commands run as if the user had
// picked each file in the file-open dialog.
#pragma once
#include <string>

#include "tools/devtools.h"

namespace tw {

struct ImageSelections {
  std::string strEboot;
  std::string strPda;
  std::string strPhone;
  std::string strOneFile;

  bool Empty() const { return strEboot.empty() && strPda.empty() && strPhone.empty() && strOneFile.empty(); }
};

// Loads the one-file image first, then the EBOOT, PDA and phone files, each
// through its command; the tools' messages go where their callbacks send
// them. "" when every file given was taken, otherwise why the first that
// was not taken was refused; the later ones are then not tried.
std::string ApplyImageSelections(const ImageSelections& selections, CDevTools& tools);

}  // namespace tw
