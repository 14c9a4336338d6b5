// What the definition of an adapter product (NADef) and of an I/O module
// product (IODef) have in common: the identity and general texts, the
// technical-data items both descriptions carry, the I/O data items with their
// image lengths, and the parameters with their value lists. The shared
// readers of DescriptionReaders fill these parts for either kind.
#pragma once

#include "app/model/PooledText.h"
#include "app/model/IOItem.h"
#include "app/model/ParaItem.h"
#include "app/model/SpecItem.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class DeviceDef {
public:
  DeviceDef(const DeviceDef&) = delete;
  DeviceDef& operator=(const DeviceDef&) = delete;
  virtual ~DeviceDef();

  // The product code as a number ("0x4101" and "4101" both give 0x4101).
  uint16_t GetProductCode() const;
  // The parameter at a 1-based position; null past the end (silently) and for
  // 0 or below (with a [Bug] line naming "<kind>::FindParaByIdx").
  ParaItem* FindParaByIdx(int index) const;
  // What the conversion rules of the I/O items look up in this definition.
  ConvParaSource ConvSource();
  // The value list of an id, or null.
  const ValueList* FindValueList(const std::string& id) const;
  // The hex digits of a default parameter text ("0x12,0x34": without
  // separators, "0X" and blanks, upper-cased) when there are exactly twice
  // the parameter length of them; empty otherwise, and always when the
  // parameter length is below 1.
  std::string DefaultParaDigits(const std::string& text) const;

  // Identity and texts.
  PooledText ID;
  PooledText productCodeText;  // hexadecimal, with or without "0x"
  PooledText category;
  PooledText modelNameTextId;
  PooledText modelName;
  PooledText description;
  PooledText infoText;
  PooledText orderNumber;
  PooledText graphicFile;  // picture stem: Image/<stem>.bmp, Image/<stem>-OFF.bmp
  PooledText helpLink;     // technical-data page
  int iconIdx = 0;          // image of the product's group in the catalogue window

  // Specification items of both kinds.
  SpecItem hardwareVer;
  SpecItem dimension;
  SpecItem powerDissipation;
  PooledText dimensionHeight;
  PooledText dimensionWidth;
  std::vector<SpecItem> moreSpecItems;  // "Items/Ref"

  // I/O data.
  int inputLength = 0;   // bytes of the input image
  int outputLength = 0;  // bytes of the output image
  std::vector<std::unique_ptr<IOItem>> inputItems;
  std::vector<std::unique_ptr<IOItem>> outputItems;

  // Parameters.
  int paraIndex = 0;
  int paraLength = 0;  // length of the PARA image
  std::vector<std::unique_ptr<ParaItem>> paraItems;
  ValueListMap valueLists;

  int convByPara = 0;  // set when an I/O item's conversion depends on a parameter

protected:
  // `kind` names the definition class in the lines it logs ("NADef", "IODef").
  explicit DeviceDef(const char* kind);

private:
  const char* kind_;
};
