// What the files of the XML layer share and nothing above it may include:
// the casts between the layer's handles and libxml2's, the libraries'
// start-up, the collector of their messages, and the cache of a document's
// XPath context.
#pragma once

#include "platform/xml/xml.h"

#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xpath.h>

#include <string>

namespace qmx::xml::detail {

inline xmlNodePtr N(void* p) { return static_cast<xmlNodePtr>(p); }
inline xmlDocPtr D(void* p) { return static_cast<xmlDocPtr>(p); }
inline const xmlChar* X(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }
inline std::string S(const xmlChar* s) {
  return s ? std::string(reinterpret_cast<const char*>(s)) : std::string();
}

// Starts libxml2 once per process and puts the refusal of every external
// resource in place.
void InitLibraries();

inline xmlNodePtr Need(void* node, const char* operation) {
  if (node == nullptr) {
    throw XmlError(std::string(operation) + " on a node that does not exist");
  }
  return N(node);
}

inline xmlDocPtr DocOf(xmlNodePtr n) {
  if (n->type == XML_DOCUMENT_NODE || n->type == XML_HTML_DOCUMENT_NODE) {
    return reinterpret_cast<xmlDocPtr>(n);
  }
  return n->doc;
}

// Collects the messages of one operation on this thread. While it lives, the
// thread's libxml2 error handlers point at it; the previous handlers come back
// when it goes.
class ErrorCollector {
public:
  ErrorCollector();
  ~ErrorCollector();
  ErrorCollector(const ErrorCollector&) = delete;
  ErrorCollector& operator=(const ErrorCollector&) = delete;

  static void OnStructured(void* self, xmlErrorPtr error);
  static void OnGeneric(void* self, const char* fmt, ...);

  // A note that explains a later failure, kept below real errors.
  void Note(const std::string& text);
  // The most telling message collected, or `fallback`.
  std::string Message(const std::string& fallback) const;

private:
  xmlStructuredErrorFunc old_structured_;
  void* old_structured_ctx_;
  xmlGenericErrorFunc old_generic_;
  void* old_generic_ctx_;
  ErrorCollector* outer_ = nullptr;
  std::string first_error_;
  std::string first_;
  std::string generic_;
};

}  // namespace qmx::xml::detail

namespace qmx::xml {

// The document's own XPath context serves every expression asked of it, so
// an expression costs its evaluation, not the setting-up of a context and
// its function table. The context is taken out while it is in use: a second
// thread asking at the same time gets one of its own.
struct Document::XPathCache {
  xmlXPathContextPtr context = nullptr;
  xmlNodePtr root = nullptr;  // the document element the context's prefixes come from
  ~XPathCache() {
    if (context != nullptr) {
      xmlXPathFreeContext(context);
    }
  }
};

}  // namespace qmx::xml
