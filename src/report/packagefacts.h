// What a run record says about the firmware it flashed: the package's path,
// each image's size and SHA-256, and the header's two phone options.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "firmware/imageset.h"
#include "report/reportjson.h"

namespace tw {

struct ImageFacts {
  std::string name;  // "eboot", "pda", "phone"
  std::uint64_t size = 0;
  std::string sha256;
};

struct PackageFacts {
  std::string path;
  std::vector<ImageFacts> images;  // the images loaded (no EBOOT image: none)
  int nFullSet = 0;
  int nExtraCmd = 0;
};

// Describes the images of a set as they are now. Hashing the released sizes
// takes a noticeable moment, so a set whose images are unchanged (same
// storage, same sizes) is hashed once.
class CPackageDescriber {
 public:
  // path: the package the images were loaded from; empty for the running executable.
  CPackageDescriber(const CImageSet& images, std::string path);
  // bImages: with the images' sizes and hashes; else the path and options only.
  PackageFacts Describe(bool bImages);

 private:
  const CImageSet& m_images;
  const std::string m_strPath;
  std::mutex m_lock;
  std::vector<const void*> m_key;  // the storage and sizes last hashed
  PackageFacts m_facts;
};

ReportJson PackageJson(const PackageFacts& facts);

}  // namespace tw
