#include "app/model/Wrapper.h"

#include "app/model/Logging.h"
#include "app/model/util/Utility.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// Gives `image` the length, with the source's bytes or zeros.
void FillImage(std::vector<uint8_t>& image, int length, const uint8_t* source) {
  image.assign(static_cast<size_t>(length), 0);
  if (source) std::memcpy(image.data(), source, image.size());
}

// Copies a default image over an image, as far as both reach.
void CopyDefault(std::vector<uint8_t>& image, const std::vector<uint8_t>* defaults) {
  if (!defaults || image.empty()) return;
  std::copy_n(defaults->begin(), std::min(image.size(), defaults->size()), image.begin());
}

}  // namespace

Wrapper::Wrapper(std::string typeTag) : typeTag_(std::move(typeTag)) {}

Wrapper::~Wrapper() = default;

bool Wrapper::IsType(const char* tag) const { return CompareNoCase(typeTag_, tag) == 0; }

int Wrapper::IsModule() const { return IsType(kTypeProject) || IsType(kTypeFolder) ? 0 : 1; }

void Wrapper::SetTitle(const std::string& text) { title = TrimStr(text); }

int Wrapper::GetPosNo() const {
  if (posNo <= 0) {
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
            StrFormat("[Bug] Position no is below 0. Type:%s. Name:%s.", typeTag_.c_str(), GetName().c_str()));
  }
  return posNo;
}

std::string Wrapper::GetLabel(int viewMode) const {
  if (viewMode == 1) return GetModelName();
  if (viewMode == 2) return GetDescription();
  return GetName();
}

std::string Wrapper::GetValueText(const std::string& /*listName*/, const std::string& /*key*/) const {
  return "INVALID";
}

void Wrapper::CreateImages(int paraLength, int outputLength, const uint8_t* paraSource) {
  if (paraLength > 0) FillImage(para_, paraLength, paraSource);
  if (outputLength > 0) FillImage(output_, outputLength, nullptr);
}

void Wrapper::SetMonInitImage(int length, const uint8_t* source) {
  if (!IsType(kTypeNA) || length <= 0) return;
  FillImage(monInit_, length, source);
}

void Wrapper::ResetImagesToDefault() {
  if (IsType(kTypeNA)) {
    CopyDefault(para_, GetDefaultParaImage());
    CopyDefault(monInit_, GetDefaultMonInitImage());
  } else if (IsType(kTypeIO)) {
    CopyDefault(para_, GetDefaultParaImage());
  }
}

int Wrapper::SetHandles(int para, int monInit, int monFreq, int input, int output) {
  onlineOffsets = {para, monInit, monFreq, input, output};
  return 1;
}

int Wrapper::ClearChangedFlag() {
  if ((IsType(kTypeNA) || IsType(kTypeIO)) && changed == 1) {
    changed = 0;
    return 1;
  }
  return 0;
}

std::vector<uint8_t>* Wrapper::ImageOfKind(const std::string& imageKind) {
  if (imageKind == "PARA") return &para_;
  if (imageKind == "OUTPUT") return &output_;
  if (imageKind == "MON_INIT") return &monInit_;
  return nullptr;
}

const std::vector<uint8_t>* Wrapper::ImageOfKind(const std::string& imageKind) const {
  return const_cast<Wrapper*>(this)->ImageOfKind(imageKind);
}

std::string Wrapper::GetImageHexStr(const std::string& imageKind) const {
  if (IsType(kTypeProject) || IsType(kTypeFolder)) return {};
  const std::vector<uint8_t>* image = ImageOfKind(imageKind);
  if (!image || image->empty()) return {};
  return BytesToHexStr(image->data(), static_cast<int>(image->size()), 0);
}

int Wrapper::GetParaIOSetValFromProject(const std::string& hexText, const std::string& imageKind, int imageLength,
                                        const std::vector<uint8_t>* defaultImage) {
  static const char* kFunc = "GetParaIOSetValFromProject";
  if (IsType(kTypeProject) || IsType(kTypeFolder)) return 2;
  const std::string text = TrimStr(hexText);
  if (imageKind == "MON_INIT" && !IsType(kTypeNA)) return 2;
  std::vector<uint8_t>* image = ImageOfKind(imageKind);
  if (!image) {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Bug] Invalid function parameter. sType must be PARA or OUTPUT. %s. Func: %s.",
                      imageKind.c_str(), kFunc));
    return 2;
  }
  if (imageLength <= 0 || image->empty()) return 2;
  if (imageLength > static_cast<int>(image->size())) {
    // The caller's length must be the image's; never write past it.
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
            StrFormat("[Bug] Byte position is overflow. iSrcLen:%d, iLastPos:%d. Func: %s.",
                      static_cast<int>(image->size()), imageLength, kFunc));
    return 0;
  }

  if (!text.empty()) {
    if (text.size() != 2 * static_cast<size_t>(imageLength)) {
      PostLog(qmx::kLogError, qmx::kLogSource,
              StrFormat("[Mismatch version] Mismatch length. Saved value with SrcLen. %s. Func: %s.",
                        imageKind.c_str(), kFunc));
      return 0;
    }
    for (int k = 0; k < imageLength; ++k) {
      (*image)[static_cast<size_t>(imageLength - 1 - k)] = HexStrToByte(text.substr(2 * static_cast<size_t>(k), 2));
    }
    return 1;
  }

  if (imageKind == "PARA") {
    CopyDefault(*image, defaultImage);
  } else if (imageKind == "OUTPUT") {
    std::fill_n(image->begin(), imageLength, 0);
  }
  return 2;
}
