// Fuzz entry point: a document loaded from arbitrary bytes, then walked the
// way the readers walk it and written out again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/xml/xml.h"

namespace {

void Walk(const qmx::xml::Node& node, int depth) {
  if (depth > 300) {
    return;
  }
  (void)node.Name();
  (void)node.Type();
  for (const qmx::xml::Node& a : node.Attributes()) {
    (void)node.FindAttribute(a.Name());
    (void)a.Text();
  }
  for (const qmx::xml::Node& child : node.Children()) {
    Walk(child, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    qmx::xml::Document doc = qmx::xml::Document::LoadText(std::string(reinterpret_cast<const char*>(data), size));
    if (qmx::xml::Node root = doc.Root()) {
      Walk(root, 0);
      (void)root.Text();
      (void)doc.SelectNodes("//*[@*]");
    }
    qmx::xml::Document again = qmx::xml::Document::LoadText(doc.Xml());
    (void)again.DeclaredEncoding();
  } catch (const qmx::xml::XmlError&) {
    // Refusing the input is a valid outcome; crashing or leaking is not.
  }
  return 0;
}
