// A plain tree object with images of chosen sizes and a chosen byte order.
#pragma once

#include "app/model/Wrapper.h"

#include <string>

class TestObject : public Wrapper {
public:
  explicit TestObject(int byteOrder = 0, int paraLength = 16, int outputLength = 16, const char* tag = kTypeIO)
      : Wrapper(tag), byteOrder_(byteOrder) {
    CreateImages(paraLength, outputLength, nullptr);
  }
  int GetByteOrderMode() const override { return byteOrder_; }
  std::string GetDescription() const override { return "test object"; }

private:
  int byteOrder_;
};
