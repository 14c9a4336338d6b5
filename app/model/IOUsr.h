// One I/O module plugged into an adapter in a project: a tree object of kind
// "IO" bound to its module definition (shared, read-only, owned by the module
// catalogue). It keeps the default parameter image the definition prescribes,
// answers the definition's texts, and turns parameter values into the texts
// the user sees through the definition's value lists.
#pragma once

#include "app/model/IODef.h"
#include "app/model/Wrapper.h"

#include <cstdint>
#include <string>
#include <vector>

class CIOUsr : public Wrapper {
public:
  // The first argument of GetParaValForUsr that translates the given value
  // text without reading an image.
  static constexpr const char* kListDataIfCan = "GetListDataIfCan";

  CIOUsr();
  ~CIOUsr() override;

  // Binds the module to its definition, once, after the byte-order mode was
  // copied from the adapter: the default parameter image (the definition's
  // default text read first byte first, at most PARA-length pairs, placed by
  // the byte-order mode; zeros without a text), then the PARA image as a copy
  // of it and the OUTPUT image as zeros.
  void SetIODef(const IODef* definition);
  const IODef* GetIODef() const { return definition_; }

  // The byte-order mode taken from the module's adapter (0 plain, 1 swap
  // 16-bit pairs, 2 reverse).
  void SetByteOrderMode(int mode) { byteOrderMode_ = mode; }

  std::string GetModelName() const override;
  std::string GetOrderNumber() const override;
  std::string GetInfoText() const override;
  std::string GetHelpLink() const override;
  std::string GetGraphicFile() const override;
  // "%02d: " of the position number followed by the text of the naming mode:
  // 1 the model name, 2 the description, otherwise the name.
  std::string GetLabel(int viewMode) const override;
  // The stored value (content) of entry `index` (decimal text) of a value list
  // of the definition; "INVALID" for an empty name or index, an unknown list,
  // an index outside the list or a module without definition.
  std::string GetValueText(const std::string& listName, const std::string& index) const override;
  int GetByteOrderMode() const override { return byteOrderMode_; }
  // The definition's input length in bytes; 0 without a definition.
  int GetSize() const override;
  std::string GetDescription() const override;
  const std::vector<uint8_t>* GetDefaultParaImage() const override;
  int IsConvByParaUsed() const override;

  // The definition's product code; 0 without a definition.
  int GetProductCode() const;
  // The definition's communication flag; 0 without a definition.
  int CanCommunication() const;
  // The definition's category text; empty without a definition.
  std::string GetDefCategory() const;

  // The display text of a parameter: its value read from the image named by
  // `imageKind` ("PARA", "OUTPUT"; the parameter's default value text after a
  // -1017 line when it cannot be read) or, with kListDataIfCan, `value` as
  // given; then translated through the parameter's value list when it names
  // one (an unknown value is logged and kept).
  std::string GetParaValForUsr(const std::string& imageKind, const ParaItem& para, const std::string& value) const;

  // The tree item through which the module's adapter is found; set by the
  // project tree.
  intptr_t treeItem = 0;
  // Set by the Add Module dialog on a module the user took out; the frame
  // deletes such a module when it rebuilds the adapter's items.
  int removeMark = 0;

private:
  const IODef* definition_ = nullptr;
  int byteOrderMode_ = 0;
  std::vector<uint8_t> defaultImage_;
};
