#include "firmware/packagewriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "firmware/packagelayout.h"
#include "platform/file.h"

namespace tw {

namespace {

constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

struct Input {
  Input(const char* r, std::string p) : role(r), path(std::move(p)) {}
  const char* role;
  std::string path;
  CFile file;
  std::uint64_t length = 0;
  unsigned mode = 0;
};

bool OpenInput(Input& input, std::string* error) {
  std::string reason;
  CFileStatus status;
  if (!input.file.Open(input.path, CFile::modeRead, &reason)) {
    *error = std::string("cannot read the ") + input.role + " " + input.path + ": " + reason;
    return false;
  }
  if (!input.file.GetStatus(status) || !status.m_regular) {
    *error = std::string("the ") + input.role + " " + input.path + " is not a regular file";
    return false;
  }
  input.length = status.m_size;
  input.mode = status.m_mode;
  return true;
}

bool FitsField(std::uint64_t value, const char* what, std::string* error) {
  if (value <= std::numeric_limits<DWORD>::max()) {
    return true;
  }
  *error = std::string(what) + " " + std::to_string(value) + " does not fit the 32-bit field of sImageHeader";
  return false;
}

// The header for the inputs, or false when a size or offset does not fit.
bool MakeHeader(const PackRequest& request, const Input& exe, const Input* eboot, const Input& pda,
                const Input& phone, sImageHeader& header, std::string* error) {
  const std::uint64_t ebootSize = eboot ? eboot->length : 0;
  const std::uint64_t pdaOffset = exe.length + ebootSize;
  const std::uint64_t phoneOffset = pdaOffset + pda.length;
  if (exe.length == 0) {
    *error = "the upgrader " + exe.path + " is empty";
    return false;
  }
  if (!FitsField(ebootSize, "the EBOOT size", error) || !FitsField(pda.length, "the PDA size", error) ||
      !FitsField(phone.length, "the phone size", error) ||
      !FitsField(exe.length, "the EBOOT offset", error) || !FitsField(pdaOffset, "the PDA offset", error) ||
      !FitsField(phoneOffset, "the phone offset", error)) {
    return false;
  }
  header.dwMagic = IMAGE_HEADER_MAGIC;
  header.dwEbootOffset = ebootSize != 0 ? static_cast<DWORD>(exe.length) : 0;
  header.dwEbootSize = static_cast<DWORD>(ebootSize);
  header.dwPdaOffset = static_cast<DWORD>(pdaOffset);
  header.dwPdaSize = static_cast<DWORD>(pda.length);
  header.dwPhoneFullSet = request.phoneFullSet;
  header.dwPhoneExtraCmd = request.phoneExtraCmd;
  header.dwPhoneOffset = static_cast<DWORD>(phoneOffset);
  header.dwPhoneSize = static_cast<DWORD>(phone.length);
  return true;
}

bool CopyWhole(Input& input, CFile& out, std::vector<BYTE>& buffer, std::string* error) {
  std::uint64_t copied = 0;
  while (copied < input.length) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), input.length - copied));
    const std::size_t got = input.file.Read(buffer.data(), want);
    if (got != want) {
      *error =
          std::string("the ") + input.role + " " + input.path + " could not be read whole (did it change?)";
      return false;
    }
    if (!out.Write(buffer.data(), got)) {
      *error = "cannot write " + out.GetFilePath() + ": " + std::strerror(errno);
      return false;
    }
    copied += got;
  }
  return true;
}

// A new file beside path, created exclusively and opened for writing; its
// name in *tempPath.
bool CreateTempBeside(const std::string& path, CFile& out, std::string* tempPath, std::string* error) {
  std::random_device entropy;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".tmp-%06x", static_cast<unsigned>(entropy() & 0xFFFFFF));
    *tempPath = path + suffix;
    if (out.Open(*tempPath, CFile::modeWrite | CFile::modeCreateNew, error)) {
      return true;
    }
    if (errno != EEXIST) {
      return false;
    }
  }
  return false;
}

}  // namespace

bool WritePackage(const PackRequest& request, sImageHeader* written, std::string* error) {
  std::string ignored;
  error = error ? error : &ignored;
  // 1. Open every input; refuse what is missing or unreadable.
  Input exe{"upgrader", request.upgrader}, eboot{"EBOOT image", request.eboot};
  Input pda{"PDA image", request.pda}, phone{"phone image", request.phone};
  const bool hasEboot = !request.eboot.empty();
  if (!OpenInput(exe, error) || (hasEboot && !OpenInput(eboot, error)) || !OpenInput(pda, error) ||
      !OpenInput(phone, error)) {
    return false;
  }
  // 2. The header; every size and offset must fit its field, and the
  // package must be one the loader takes.
  sImageHeader header;
  if (!MakeHeader(request, exe, hasEboot ? &eboot : nullptr, pda, phone, header, error)) {
    return false;
  }
  const std::uint64_t length =
      exe.length + (hasEboot ? eboot.length : 0) + pda.length + phone.length + IMAGE_HEADER_SIZE;
  const PackageValidation validation = ValidatePackage(header, length);
  if (validation.verdict != PackageVerdict::kSound) {
    *error = "the package would not load: " + validation.reason;
    return false;
  }
  // 3. A temporary file beside the output.
  std::string tempPath, reason;
  CFile out;
  if (!CreateTempBeside(request.output, out, &tempPath, &reason)) {
    *error = "cannot create a file beside " + request.output + ": " + reason;
    return false;
  }
  std::vector<BYTE> buffer(kCopyChunk);
  const ImageHeaderBytes record = EncodeImageHeader(header);
  // 4. The executable, the images back to back, the record; flushed, with
  // the executable's permission bits, then renamed into place.
  bool ok = CopyWhole(exe, out, buffer, error) && (!hasEboot || CopyWhole(eboot, out, buffer, error)) &&
            CopyWhole(pda, out, buffer, error) && CopyWhole(phone, out, buffer, error);
  if (ok && !out.Write(record.data(), record.size())) {
    *error = "cannot write " + tempPath + ": " + std::strerror(errno);
    ok = false;
  }
  if (ok && (!out.SetPermissions(exe.mode & 0777) || !out.Flush())) {
    *error = "cannot finish " + tempPath + ": " + std::strerror(errno);
    ok = false;
  }
  out.Close();
  if (ok && !RenameReplacing(tempPath, request.output, &reason)) {
    *error = "cannot rename " + tempPath + " to " + request.output + ": " + reason;
    ok = false;
  }
  if (!ok) {
    if (error->empty()) {
      *error = "cannot write " + tempPath;
    }
    RemoveFile(tempPath);
    return false;
  }
  if (written) {
    *written = header;
  }
  return true;
}

}  // namespace tw
