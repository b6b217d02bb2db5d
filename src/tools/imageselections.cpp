#include "tools/imageselections.h"

#include <filesystem>
#include <system_error>

#include "tools/onefileloader.h"

namespace tw {

namespace {

// Runs command with the file-open dialog answering path.
template <typename Command>
auto WithChosenFile(CDevTools& tools, const std::string& path, Command command) {
  const ToolCallbacks saved = tools.Callbacks();
  ToolCallbacks chosen = saved;
  // The dialog answers with a full path.
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(path, error);
  const std::string answer = error ? path : full.string();
  chosen.openFileName = [&answer](const std::string&, DWORD) { return std::optional<std::string>(answer); };
  tools.SetCallbacks(chosen);
  auto result = command();
  tools.SetCallbacks(saved);
  return result;
}

std::string PhoneRefusal(const std::string& path) {
  if (!IsPhoneBinaryName(path)) {
    return "--phone " + path + ": a phone binary's name ends in .bin";
  }
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (!error && size > kMaxPhoneFileSize) {
    return "--phone " + path + ": above " + std::to_string(kMaxPhoneFileSize) + " bytes";
  }
  return "--phone " + path + ": cannot be read";
}

}  // namespace

std::string ApplyImageSelections(const ImageSelections& selections, CDevTools& tools) {
  // 1. The one-file image.
  if (!selections.strOneFile.empty()) {
    int code = WithChosenFile(tools, selections.strOneFile, [&tools] { return tools.OpenOneFileImage(); });
    if (code != 0) {
      return "--onefile " + selections.strOneFile + ": " + OneFileLoadError(code);
    }
  }
  // 2. The single images over it.
  if (!selections.strEboot.empty() &&
      !WithChosenFile(tools, selections.strEboot, [&tools] { return tools.OpenEbootFile(); })) {
    return "--eboot " + selections.strEboot + ": cannot be read";
  }
  if (!selections.strPda.empty() &&
      !WithChosenFile(tools, selections.strPda, [&tools] { return tools.OpenPdaFile(); })) {
    return "--pda " + selections.strPda + ": cannot be read";
  }
  if (!selections.strPhone.empty() &&
      !WithChosenFile(tools, selections.strPhone, [&tools] { return tools.OpenPhoneFile(); })) {
    return PhoneRefusal(selections.strPhone);
  }
  return {};
}

}  // namespace tw
