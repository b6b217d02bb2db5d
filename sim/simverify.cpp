#include "sim/simverify.h"

#include <algorithm>

#include "sim/modemframes.h"
#include "sim/regiontable.h"

namespace tw::sim {

namespace {

// Offset of the first difference between what came and what was due; a
// shorter or longer image differs where the shorter one ends.
Verdict Compare(const std::uint8_t* got, std::size_t gotSize, const std::uint8_t* due, std::size_t dueSize) {
  Verdict verdict;
  std::size_t common = std::min(gotSize, dueSize);
  auto diff = std::mismatch(got, got + common, due);
  if (diff.first != got + common) {
    verdict.firstMismatch = diff.first - got;
  } else if (gotSize != dueSize) {
    verdict.firstMismatch = static_cast<std::int64_t>(common);
  }
  verdict.result = verdict.firstMismatch < 0 ? "match" : "mismatch";
  return verdict;
}

Verdict CompareImage(const std::vector<std::uint8_t>& got, const std::vector<std::uint8_t>& due) {
  return Compare(got.data(), got.size(), due.data(), due.size());
}

// The region the run wrote at start: the last one erased there, acknowledged
// or not; null when the host never erased there.
RegionSummary* FindRegion(std::vector<RegionSummary>& regions, std::uint32_t start) {
  RegionSummary* found = nullptr;
  for (RegionSummary& region : regions) {
    if (region.erase != "none" && region.start == start && (!found || region.erase == "ack")) {
      found = &region;
    }
  }
  return found;
}

// One written region of the table against the image, up to the image's end;
// then the bytes of its last block past that end against the bytes that
// follow the image where it was loaded from, then zeros.
void VerifyRegion(const SimImages& expected, const SimFlash& flash, const SimRegion& table,
                  RegionSummary& region) {
  const std::vector<std::uint8_t>& image = expected.phone;
  std::uint32_t size = static_cast<std::uint32_t>(image.size());
  std::uint32_t writeLen = RegionWriteLength(table, size);
  std::uint32_t inImage = table.start < size ? std::min(writeLen, size - table.start) : 0;
  std::uint32_t sent = region.blocks * kBlockBytes;
  std::uint32_t written = std::min(inImage, sent);
  std::vector<std::uint8_t> got = flash.ReadModem(table.start, written);
  region.verify = Compare(got.data(), got.size(), image.data() + table.start, inImage);

  std::uint32_t blockEnd = (writeLen + kBlockBytes - 1) / kBlockBytes * kBlockBytes;
  region.pastEndBytes = blockEnd - inImage;
  if (region.pastEndBytes == 0 || sent < blockEnd) {
    region.pastEnd = region.pastEndBytes == 0 ? "not-checked" : "mismatch";
    return;
  }
  std::vector<std::uint8_t> past = flash.ReadModem(table.start + inImage, region.pastEndBytes);
  std::vector<std::uint8_t> due(region.pastEndBytes, 0);
  std::uint32_t from = table.start + inImage - size;  // offset behind the image's end
  for (std::uint32_t i = 0; i < due.size() && from + i < expected.phoneTail.size(); ++i) {
    due[i] = expected.phoneTail[from + i];
  }
  region.pastEnd = past == due ? "match" : "mismatch";
}

}  // namespace

void VerifyRun(const SimImages& expected, const SimFlash& flash, SimRecorder& recorder) {
  std::vector<std::uint8_t> eboot = flash.Eboot();
  std::vector<std::uint8_t> os = flash.Os();
  recorder.Update([&](SimSummary& s) {
    bool passed = true;
    if (expected.hasEboot || !eboot.empty()) {
      s.eboot.verify = CompareImage(eboot, expected.hasEboot ? expected.eboot : std::vector<std::uint8_t>{});
      passed = passed && s.eboot.verify.result == "match";
    }
    s.os.verify = CompareImage(os, expected.os);
    passed = passed && s.os.verify.result == "match";
    // The phone image as a whole: its first region that differs.
    s.phone.verify = {"match", -1};
    auto judgePhone = [&s](const RegionSummary& region) {
      if (s.phone.verify.result == "match" && region.verify.result != "match") {
        s.phone.verify.result = "mismatch";
        s.phone.verify.firstMismatch = region.start + std::max<std::int64_t>(region.verify.firstMismatch, 0);
      }
    };
    int index = 0;
    for (const SimRegion& table : RegionTable(expected.phoneFullSet)) {
      ++index;
      if (table.writeLength == 0) {
        continue;  // nothing to write (EFS)
      }
      RegionSummary* region = FindRegion(s.regions, table.start);
      if (!region || region->erase != "ack") {
        if (!region) {
          s.regions.push_back({});
          region = &s.regions.back();
          region->index = index;
          region->start = table.start;
        }
        region->verify.result = "missing";
        judgePhone(*region);
        passed = false;
        continue;
      }
      VerifyRegion(expected, flash, table, *region);
      judgePhone(*region);
      passed = passed && region->verify.result == "match";
    }
    s.verified = true;
    s.verifyPassed = passed;
  });
}

}  // namespace tw::sim
