#include "report/packagefacts.h"

#include "firmware/dloadfile.h"
#include "platform/ownexecutable.h"
#include "report/sha256.h"

namespace tw {

namespace {

// The phone image's bytes are kept in packets: hashed packet by packet, up
// to the image's size.
std::string PhoneSha256(const CDloadFile& phone) {
  CSha256 hash;
  std::uint64_t left = phone.GetSize();
  for (DWORD i = 0; i < phone.GetPacketCount() && left > 0; ++i) {
    std::span<const BYTE> data = phone.PacketData(i);
    if (data.size() > left) data = data.first(static_cast<std::size_t>(left));
    hash.Update(data);
    left -= data.size();
  }
  return hash.HexDigest();
}

}  // namespace

// No path: the images came from the running executable.
CPackageDescriber::CPackageDescriber(const CImageSet& images, std::string path)
    : m_images(images), m_strPath(path.empty() ? OwnExecutableFile() : std::move(path)) {}

PackageFacts CPackageDescriber::Describe(bool bImages) {
  if (!bImages) {
    PackageFacts facts;
    facts.path = m_strPath;
    facts.nFullSet = m_images.m_bPhoneFullSet;
    facts.nExtraCmd = m_images.m_bPhoneExtraCmd;
    return facts;
  }
  const ImageTable& table = m_images.m_ImageTable;
  const auto eboot = table.EbootImage();
  const auto pda = table.PdaImage();
  const CDloadFile& phone = m_images.m_PhoneFile;
  const std::vector<const void*> key = {
      eboot ? eboot->data() : nullptr,
      reinterpret_cast<const void*>(static_cast<std::uintptr_t>(eboot ? eboot->size() : 0)),
      pda ? pda->data() : nullptr,
      reinterpret_cast<const void*>(static_cast<std::uintptr_t>(pda ? pda->size() : 0)),
      phone.GetPacketCount() > 0 ? phone.GetPacket(0) : nullptr,
      reinterpret_cast<const void*>(static_cast<std::uintptr_t>(phone.GetSize())),
      reinterpret_cast<const void*>(static_cast<std::uintptr_t>(
          m_images.m_bDownEboot * 4 + m_images.m_bDownPda * 2 + m_images.m_bDownPhone))};
  std::lock_guard guard(m_lock);
  if (key != m_key) {
    m_facts = PackageFacts{};
    if (eboot && m_images.m_bDownEboot) m_facts.images.push_back({"eboot", eboot->size(), Sha256Hex(*eboot)});
    if (pda && m_images.m_bDownPda) m_facts.images.push_back({"pda", pda->size(), Sha256Hex(*pda)});
    if (m_images.m_bDownPhone) m_facts.images.push_back({"phone", phone.GetSize(), PhoneSha256(phone)});
    m_key = key;
  }
  m_facts.path = m_strPath;
  m_facts.nFullSet = m_images.m_bPhoneFullSet;
  m_facts.nExtraCmd = m_images.m_bPhoneExtraCmd;
  return m_facts;
}

ReportJson PackageJson(const PackageFacts& facts) {
  ReportJson images = ReportJson::object();
  for (const ImageFacts& image : facts.images)
    images[image.name] = {{"size", image.size}, {"sha256", image.sha256}};
  return {{"path", facts.path},
          {"images", images},
          {"options", {{"full_set", facts.nFullSet}, {"extra_cmd", facts.nExtraCmd}}}};
}

}  // namespace tw
