#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

// A read-only look at an object's bytes in one of the adapter's online
// images. It shares the image with the adapter, so the bytes stay valid for
// as long as the view is held, even when the next module list replaces the
// adapter's images; it then shows the values of the image it was made from.
class OnlineBytes {
public:
  OnlineBytes() = default;
  OnlineBytes(std::shared_ptr<const std::vector<uint8_t>> image, size_t offset)
      : image_(std::move(image)), offset_(offset) {}

  explicit operator bool() const { return image_ && offset_ <= image_->size(); }
  // The object's first byte; null for an empty view.
  const uint8_t* data() const { return *this ? image_->data() + offset_ : nullptr; }
  // The bytes from the object's first byte to the image's end.
  int size() const { return *this ? static_cast<int>(image_->size() - offset_) : 0; }
  // An empty view compares equal to null, as the failed read it stands for.
  friend bool operator==(const OnlineBytes& bytes, std::nullptr_t) { return !bytes; }

private:
  std::shared_ptr<const std::vector<uint8_t>> image_;
  size_t offset_ = 0;
};
