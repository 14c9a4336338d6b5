// The XML document layer on libxml2 and libxslt.
//
// Parsing rules: the file's declared encoding is honoured (files declared
// "euc-kr" are decoded by the character-set layer, which also accepts the
// extended Korean code page), nothing is fetched from the network, external
// entities and DTDs are never loaded, entities are not substituted (and a
// document whose references would expand far beyond its size is refused), and
// libxml2 never prints: every message goes to a collector that becomes the
// XmlError's text.
#include "platform/xml/xml.h"

#include "platform/xml/xml_detail.h"

#include "common/WholeFile.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <dlfcn.h>

#include <cerrno>
#include <cstdint>
#include <cstdarg>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/text/charset.h"

namespace qmx::xml {

using namespace detail;

namespace {

// Owns a string that libxml2 allocated.
std::string TakeString(xmlChar* s) {
  std::string out = S(s);
  xmlFree(s);
  return out;
}

std::string TrimRight(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) {
    s.pop_back();
  }
  return s;
}

// Refuses every external resource: external DTDs, external entities,
// stylesheet imports and document() calls.
xmlParserInputPtr RefuseExternalEntity(const char* url, const char* id, xmlParserCtxtPtr ctxt);
xmlExternalEntityLoader g_default_loader = nullptr;


// A message for the errors that libxml2 hands over without a text (XPath).
std::string DescribeCode(const xmlError& error) {
  static const char* const kXPath[] = {
      "Ok", "Number encoding", "Unfinished literal", "Start of literal", "Expected $ for variable reference",
      "Undefined variable", "Invalid predicate", "Invalid expression", "Missing closing curly brace",
      "Unregistered function", "Invalid operand", "Invalid type", "Invalid number of arguments",
      "Invalid context size", "Invalid context position", "Memory allocation error", "Syntax error",
      "Resource error", "Sub resource error", "Undefined namespace prefix", "Encoding error",
      "Char out of XML range", "Invalid or incomplete context", "Stack usage error", "Forbidden variable"};
  if (error.domain == XML_FROM_XPATH) {
    const int index = error.code - XML_XPATH_EXPRESSION_OK;
    std::string text = (index >= 0 && index < static_cast<int>(std::size(kXPath))) ? kXPath[index] : "XPath error";
    if (error.int1 > 0) {
      text += " at position " + std::to_string(error.int1);
    }
    return text;
  }
  return "error " + std::to_string(error.code);
}

// Appends a message of the libraries' generic error channels (printf form,
// cut at 1023 bytes) to `out`.
void AppendFormatted(std::string& out, const char* fmt, va_list ap) {
  char buf[1024];
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  out += buf;
}

thread_local ErrorCollector* t_active_collector = nullptr;

// While an operation of this layer runs on the thread, nothing external is
// loaded; other users of libxml2 in the process keep the default loader.
xmlParserInputPtr RefuseExternalEntity(const char* url, const char* id, xmlParserCtxtPtr ctxt) {
  if (t_active_collector == nullptr && g_default_loader != nullptr) {
    return g_default_loader(url, id, ctxt);
  }
  if (t_active_collector != nullptr) {
    t_active_collector->Note(std::string("Refusing to load the external resource \"") + (url ? url : "") + "\"");
  }
  return nullptr;
}

// The encoding named by the XML declaration at the start of `bytes`, or "".
std::string SniffDeclaredEncoding(const std::string& bytes) {
  size_t pos = 0;
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    pos = 3;
  }
  if (bytes.compare(pos, 5, "<?xml") != 0) {
    return {};
  }
  size_t end = bytes.find("?>", pos);
  if (end == std::string::npos || end - pos > 512) {
    return {};
  }
  std::string decl = bytes.substr(pos, end - pos);
  size_t at = decl.find("encoding");
  if (at == std::string::npos) {
    return {};
  }
  at += 8;
  auto skip_blanks = [&] {
    while (at < decl.size() && (decl[at] == ' ' || decl[at] == '\t' || decl[at] == '\r' || decl[at] == '\n')) {
      ++at;
    }
  };
  skip_blanks();
  if (at >= decl.size() || decl[at] != '=') {
    return {};
  }
  ++at;
  skip_blanks();
  if (at >= decl.size() || (decl[at] != '"' && decl[at] != '\'')) {
    return {};
  }
  char quote = decl[at++];
  size_t close = decl.find(quote, at);
  if (close == std::string::npos) {
    return {};
  }
  return decl.substr(at, close - at);
}

bool IsXmlBlank(const xmlChar* s) {
  if (s == nullptr) {
    return true;
  }
  for (; *s; ++s) {
    if (*s != ' ' && *s != '\t' && *s != '\r' && *s != '\n') {
      return false;
    }
  }
  return true;
}

// Removes the whitespace-only text nodes that only lay out element content
// (text between elements, comments and processing instructions), as a DOM
// that does not preserve white space shows the document. Text of elements
// that hold nothing but text, and anything under xml:space="preserve", stays.
void DropLayoutWhitespace(xmlNodePtr parent) {
  bool mixed = false;
  for (xmlNodePtr c = parent->children; c != nullptr; c = c->next) {
    if (c->type == XML_ELEMENT_NODE || c->type == XML_COMMENT_NODE || c->type == XML_PI_NODE) {
      mixed = true;
      break;
    }
  }
  if (mixed && (parent->type != XML_ELEMENT_NODE || xmlNodeGetSpacePreserve(parent) != 1)) {
    for (xmlNodePtr c = parent->children; c != nullptr;) {
      xmlNodePtr next = c->next;
      if (c->type == XML_TEXT_NODE && IsXmlBlank(c->content)) {
        xmlUnlinkNode(c);
        xmlFreeNode(c);
      }
      c = next;
    }
  }
  for (xmlNodePtr c = parent->children; c != nullptr; c = c->next) {
    if (c->type == XML_ELEMENT_NODE) {
      DropLayoutWhitespace(c);
    }
  }
}

// Entity references are kept as references in the tree and expanded each
// time a text or an attribute is read, so one large internal entity named many
// times makes every read of it cost megabytes, although the parser's own
// guards (aimed at nested entities) let the document through. A document may
// expand into at most this many times its own size plus a small allowance.
constexpr uint64_t kEntityExpansionFactor = 16;
constexpr uint64_t kEntityExpansionAllowance = 64 * 1024;

// Adds up what reading every entity reference of a document produces, with
// the size of each entity measured once. Stops counting past `limit`.
class EntityExpansion {
public:
  EntityExpansion(xmlDocPtr doc, uint64_t limit) : doc_(doc), limit_(limit) {}

  // The expansion of the references in a node list and below it.
  uint64_t OfList(xmlNodePtr list) {
    uint64_t total = 0;
    for (xmlNodePtr n = list; n != nullptr && total <= limit_; n = n->next) {
      total = Add(total, OfNode(n));
    }
    return total;
  }

private:
  uint64_t Add(uint64_t a, uint64_t b) const { return a + b > limit_ ? limit_ + 1 : a + b; }

  uint64_t OfNode(xmlNodePtr n) {
    switch (n->type) {
      case XML_ENTITY_REF_NODE:
        return OfEntity(xmlGetDocEntity(doc_, n->name));
      case XML_ELEMENT_NODE: {
        uint64_t total = 0;
        for (xmlAttrPtr a = n->properties; a != nullptr; a = a->next) {
          total = Add(total, OfList(a->children));
        }
        return Add(total, OfList(n->children));
      }
      default:
        return 0;  // text written in the document costs nothing extra
    }
  }

  // The characters one reference of `ent` reads as: its text, the text of the
  // entities it names in turn, and the attribute values of elements it holds.
  uint64_t OfEntity(xmlEntityPtr ent) {
    if (ent == nullptr) {
      return 0;
    }
    if (auto it = sizes_.find(ent); it != sizes_.end()) {
      return it->second;
    }
    if (!open_.insert(ent).second) {
      return limit_ + 1;  // an entity that names itself never ends
    }
    uint64_t total = 0;
    if (ent->children == nullptr) {
      total = static_cast<uint64_t>(xmlStrlen(ent->content));
    }
    for (xmlNodePtr c = ent->children; c != nullptr && total <= limit_; c = c->next) {
      if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
        total = Add(total, static_cast<uint64_t>(xmlStrlen(c->content)));
      } else if (c->type == XML_ELEMENT_NODE) {
        total = Add(total, OfNode(c));
        total = Add(total, TextBelow(c));
      } else {
        total = Add(total, OfNode(c));
      }
    }
    open_.erase(ent);
    sizes_[ent] = total;
    return total;
  }

  // Text written inside an element that an entity holds (its references are
  // counted by OfNode).
  uint64_t TextBelow(xmlNodePtr element) {
    uint64_t total = 0;
    for (xmlNodePtr c = element->children; c != nullptr && total <= limit_; c = c->next) {
      if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
        total = Add(total, static_cast<uint64_t>(xmlStrlen(c->content)));
      } else if (c->type == XML_ELEMENT_NODE) {
        total = Add(total, TextBelow(c));
      }
    }
    return total;
  }

  xmlDocPtr doc_;
  uint64_t limit_;
  std::unordered_map<xmlEntityPtr, uint64_t> sizes_;
  std::unordered_set<xmlEntityPtr> open_;
};

// Throws XmlError when the entity references of `doc` expand beyond the
// bound for a document of `input_size` bytes.
void RefuseEntityExpansionBomb(xmlDocPtr doc, size_t input_size, const std::string& label) {
  if (doc->intSubset == nullptr && doc->extSubset == nullptr) {
    return;  // no declarations, nothing to expand beyond the predefined entities
  }
  const uint64_t limit = kEntityExpansionFactor * static_cast<uint64_t>(input_size) + kEntityExpansionAllowance;
  EntityExpansion expansion(doc, limit);
  if (expansion.OfList(doc->children) > limit) {
    throw XmlError(label + ": the entity references expand to more than " + std::to_string(limit) +
                   " bytes, over " + std::to_string(kEntityExpansionFactor) +
                   " times the size of the document; refused as an entity expansion bomb");
  }
}

// Parses `bytes` into a new libxml2 document; `name` is used in messages
// (and as the document's URL when not empty). Throws XmlError.
xmlDocPtr ParseBytes(const std::string& bytes, const std::string& name, bool preserve_whitespace) {
  InitLibraries();
  const std::string label = name.empty() ? std::string("XML text") : name;

  const std::string declared = SniffDeclaredEncoding(bytes);
  const std::string* input = &bytes;
  std::string converted;
  int options = XML_PARSE_NONET | XML_PARSE_BIG_LINES | XML_PARSE_COMPACT;
  const char* encoding = nullptr;
  const bool has_bom = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;  // a byte order mark wins
  if (!has_bom && !declared.empty() && text::IsEucKrName(declared)) {
    if (!text::EucKrToUtf8(bytes, converted)) {
      // Name the first line holding a byte sequence that is not Korean text
      // (a line break never falls inside a double-byte code).
      int line = 1;
      std::string probe;
      for (size_t start = 0; start < bytes.size(); ++line) {
        size_t end = bytes.find('\n', start);
        end = end == std::string::npos ? bytes.size() : end;
        if (!text::EucKrToUtf8(std::string_view(bytes).substr(start, end - start), probe)) {
          break;
        }
        start = end + 1;
      }
      throw XmlError(label + ", line " + std::to_string(line) +
                     ": bytes that are not valid in the declared encoding \"" + declared + "\"");
    }
    input = &converted;
    encoding = "UTF-8";
    options |= XML_PARSE_IGNORE_ENC;
  }
  if (input->size() > static_cast<size_t>(INT32_MAX)) {
    throw XmlError(label + ": the document is too large");
  }

  ErrorCollector errors;
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (ctxt == nullptr) {
    throw XmlError("Cannot create the XML parser");
  }
  xmlDocPtr doc = xmlCtxtReadMemory(ctxt, input->data(), static_cast<int>(input->size()),
                                    name.empty() ? nullptr : name.c_str(), encoding, options);
  const bool well_formed = ctxt->wellFormed != 0;
  xmlFreeParserCtxt(ctxt);
  if (doc == nullptr || !well_formed) {
    if (doc != nullptr) {
      xmlFreeDoc(doc);
    }
    throw XmlError(label + ", " + errors.Message("the document could not be parsed"));
  }
  try {
    RefuseEntityExpansionBomb(doc, input->size(), label);
  } catch (...) {
    xmlFreeDoc(doc);
    throw;
  }
  if (encoding != nullptr) {
    if (doc->encoding != nullptr) {
      xmlFree(const_cast<xmlChar*>(doc->encoding));
    }
    doc->encoding = xmlStrdup(X(declared));
  }
  if (!preserve_whitespace) {
    DropLayoutWhitespace(reinterpret_cast<xmlNodePtr>(doc));
  }
  return doc;
}

bool IsValidXmlText(const std::string& s) {
  if (!text::IsValidUtf8(s)) {
    return false;
  }
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
      return false;
    }
    // U+FFFE and U+FFFF (EF BF BE / EF BF BF) are not XML characters.
    if (c == 0xEF && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xBF &&
        (static_cast<unsigned char>(s[i + 2]) == 0xBE || static_cast<unsigned char>(s[i + 2]) == 0xBF)) {
      return false;
    }
  }
  return true;
}

void CheckText(const std::string& value, const char* what) {
  if (!IsValidXmlText(value)) {
    throw XmlError(std::string(what) + " holds characters that XML cannot carry");
  }
}

void CheckName(const std::string& name, const char* what) {
  if (name.empty() || !text::IsValidUtf8(name) || xmlValidateQName(X(name), 0) != 0) {
    throw XmlError(std::string("\"") + name + "\" is not a valid " + what + " name");
  }
}

std::string QualifiedName(xmlNodePtr n) {
  std::string name = S(n->name);
  if (n->ns != nullptr && n->ns->prefix != nullptr) {
    return S(n->ns->prefix) + ":" + name;
  }
  return name;
}

// Where a node is, for messages: "<Name> at file:line".
std::string Where(xmlNodePtr n) {
  std::string text = "<" + QualifiedName(n) + ">";
  const long line = xmlGetLineNo(n);
  const bool has_file = n->doc != nullptr && n->doc->URL != nullptr;
  if (has_file || line > 0) {
    text += " at ";
    if (has_file) {
      text += S(n->doc->URL);
    }
    if (line > 0) {
      text += (has_file ? ":" : "line ") + std::to_string(line);
    }
  }
  return text;
}

// Whether a node's qualified name ("prefix:name", or "name" without a
// prefix) is `name`, without composing it.
bool HasQualifiedName(xmlNodePtr n, std::string_view name) {
  // Compared in place: the names are terminated, `name` is not.
  auto starts = [](const xmlChar* own, std::string_view text) {
    return text.empty() || (static_cast<char>(own[0]) == text[0] &&
                            std::strncmp(reinterpret_cast<const char*>(own), text.data(), text.size()) == 0);
  };
  if (n->ns == nullptr || n->ns->prefix == nullptr) {
    return starts(n->name, name) && n->name[name.size()] == '\0';
  }
  const size_t colon = name.find(':');
  if (colon == std::string_view::npos) {
    return false;
  }
  const std::string_view prefix = name.substr(0, colon);
  const std::string_view local = name.substr(colon + 1);
  return starts(n->ns->prefix, prefix) && n->ns->prefix[prefix.size()] == '\0' && starts(n->name, local) &&
         n->name[local.size()] == '\0';
}

xmlAttrPtr FindProp(xmlNodePtr n, const std::string& name) {
  if (n == nullptr || n->type != XML_ELEMENT_NODE) {
    return nullptr;
  }
  for (xmlAttrPtr a = n->properties; a != nullptr; a = a->next) {
    if (HasQualifiedName(reinterpret_cast<xmlNodePtr>(a), name)) {
      return a;
    }
  }
  return nullptr;
}

// The text of a node as xmlNodeGetContent gives it. An attribute or element
// whose content is one text node (nearly every one a reader asks for) is
// read in place; anything else (entity references, mixed content) is
// composed by the library.
std::string ContentOf(xmlNodePtr n) {
  if (n->type == XML_ATTRIBUTE_NODE || n->type == XML_ELEMENT_NODE) {
    xmlNodePtr c = n->children;
    if (c == nullptr) {
      return {};
    }
    if (c->next == nullptr && (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE)) {
      return S(c->content);
    }
  }
  return TakeString(xmlNodeGetContent(n));
}

// Detaches `child` from wherever it is and makes it belong to `doc`.
void AdoptInto(xmlNodePtr child, xmlDocPtr doc, xmlNodePtr new_parent) {
  xmlUnlinkNode(child);
  if (child->doc != doc) {
    if (xmlDOMWrapAdoptNode(nullptr, child->doc, child, doc, new_parent, 0) != 0) {
      throw XmlError("Cannot move the node into the other document");
    }
  }
}

// Keeps a node that no longer has a place in the tree alive until the
// document goes, so handles on it stay valid.
xmlNodePtr Holder(void*& holder, xmlDocPtr doc) {
  if (holder == nullptr) {
    holder = xmlNewDocNode(doc, nullptr, BAD_CAST "detached", nullptr);
    if (holder == nullptr) {
      throw XmlError("Out of memory");
    }
  }
  return N(holder);
}

// libxslt is opened the first time a stylesheet is applied, not with the
// program: most runs never transform, and a library loaded is pages of it
// resident from the start.
#define QMX_XSLT_FUNCTIONS(X)                                                                                         \
  X(xsltInit) X(xsltParseStylesheetDoc) X(xsltFreeStylesheet) X(xsltNewTransformContext)                               \
  X(xsltFreeTransformContext) X(xsltNewSecurityPrefs) X(xsltFreeSecurityPrefs) X(xsltSetSecurityPrefs)                 \
  X(xsltSecurityForbid) X(xsltSetCtxtSecurityPrefs) X(xsltSetTransformErrorFunc) X(xsltApplyStylesheetUser)            \
  X(xsltSetGenericErrorFunc) X(xsltSaveResultToString)

struct Xslt {
#define QMX_XSLT_POINTER(name) decltype(&::name) name = nullptr;
  QMX_XSLT_FUNCTIONS(QMX_XSLT_POINTER)
#undef QMX_XSLT_POINTER
  xmlGenericErrorFunc* genericError = nullptr;  // the library's own variables
  void** genericErrorContext = nullptr;
};

const Xslt& LoadXslt() {
  static Xslt xslt;
  static std::string error = [] {
    void* library = ::dlopen("libxslt.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      return std::string(::dlerror());
    }
    bool complete = true;
    auto find = [&](const char* name) {
      void* symbol = ::dlsym(library, name);
      complete = complete && symbol != nullptr;
      return symbol;
    };
#define QMX_XSLT_FIND(name) xslt.name = reinterpret_cast<decltype(&::name)>(find(#name));
    QMX_XSLT_FUNCTIONS(QMX_XSLT_FIND)
#undef QMX_XSLT_FIND
    xslt.genericError = static_cast<xmlGenericErrorFunc*>(find("xsltGenericError"));
    xslt.genericErrorContext = static_cast<void**>(find("xsltGenericErrorContext"));
    if (!complete) {
      return std::string("libxslt.so.1 lacks a function this program uses");
    }
    xslt.xsltInit();
    return std::string();
  }();
  if (!error.empty()) {
    throw XmlError("The stylesheet processor cannot be loaded: " + error);
  }
  return xslt;
}

// The stylesheet error channel of libxslt is one per process; transforms
// therefore take turns.
std::mutex& XsltMutex() {
  static std::mutex m;
  return m;
}

void XsltCollect(void* self, const char* fmt, ...) {
  if (self == nullptr || fmt == nullptr) {
    return;
  }
  va_list ap;
  va_start(ap, fmt);
  AppendFormatted(*static_cast<std::string*>(self), fmt, ap);
  va_end(ap);
}

}  // namespace

// ---------------------------------------------------------------- shared with the other files of the layer

void detail::InitLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    g_default_loader = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(RefuseExternalEntity);
  });
}

detail::ErrorCollector::ErrorCollector() {
  old_structured_ = xmlStructuredError;
  old_structured_ctx_ = xmlStructuredErrorContext;
  old_generic_ = xmlGenericError;
  old_generic_ctx_ = xmlGenericErrorContext;
  xmlSetStructuredErrorFunc(this, &ErrorCollector::OnStructured);
  xmlSetGenericErrorFunc(this, &ErrorCollector::OnGeneric);
  outer_ = t_active_collector;
  t_active_collector = this;
}

detail::ErrorCollector::~ErrorCollector() {
  t_active_collector = outer_;
  xmlSetStructuredErrorFunc(old_structured_ctx_, old_structured_);
  xmlSetGenericErrorFunc(old_generic_ctx_, old_generic_);
}

void detail::ErrorCollector::OnStructured(void* self, xmlErrorPtr error) {
  if (self == nullptr || error == nullptr) {
    return;
  }
  auto* c = static_cast<ErrorCollector*>(self);
  std::string text = TrimRight(error->message != nullptr ? error->message : DescribeCode(*error));
  if (error->line > 0 && error->domain != XML_FROM_XPATH) {
    text = "line " + std::to_string(error->line) + ": " + text;
  }
  if (error->level >= XML_ERR_ERROR && c->first_error_.empty()) {
    c->first_error_ = text;
  }
  if (c->first_.empty()) {
    c->first_ = text;
  }
}

void detail::ErrorCollector::OnGeneric(void* self, const char* fmt, ...) {
  if (self == nullptr || fmt == nullptr) {
    return;
  }
  va_list ap;
  va_start(ap, fmt);
  AppendFormatted(static_cast<ErrorCollector*>(self)->generic_, fmt, ap);
  va_end(ap);
}

void detail::ErrorCollector::Note(const std::string& text) {
  if (first_.empty()) {
    first_ = text;
  }
}

std::string detail::ErrorCollector::Message(const std::string& fallback) const {
  if (!first_error_.empty()) {
    return first_error_;
  }
  if (!generic_.empty()) {
    return TrimRight(generic_);
  }
  if (!first_.empty()) {
    return first_;
  }
  return fallback;
}

// ---------------------------------------------------------------- Node

std::string Node::Name() const {
  xmlNodePtr n = Need(node_, "Name");
  switch (n->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
      return QualifiedName(n);
    case XML_TEXT_NODE:
      return "#text";
    case XML_CDATA_SECTION_NODE:
      return "#cdata-section";
    case XML_COMMENT_NODE:
      return "#comment";
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
      return "#document";
    default:
      return S(n->name);
  }
}

NodeType Node::Type() const {
  switch (Need(node_, "Type")->type) {
    case XML_ELEMENT_NODE:
      return NodeType::Element;
    case XML_ATTRIBUTE_NODE:
      return NodeType::Attribute;
    case XML_TEXT_NODE:
      return NodeType::Text;
    case XML_CDATA_SECTION_NODE:
      return NodeType::CData;
    case XML_COMMENT_NODE:
      return NodeType::Comment;
    case XML_PI_NODE:
      return NodeType::ProcessingInstruction;
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
      return NodeType::Document;
    default:
      return NodeType::Other;
  }
}

std::string Node::Text() const { return ContentOf(Need(node_, "Text")); }

std::vector<Node> Node::Children() const {
  xmlNodePtr n = Need(node_, "Children");
  std::vector<Node> out;
  if (n->type == XML_ENTITY_REF_NODE) {
    return out;  // the entity's content belongs to the declaration
  }
  size_t count = 0;
  for (xmlNodePtr c = n->children; c != nullptr; c = c->next) {
    ++count;
  }
  out.reserve(count);  // one allocation, not one per doubling
  for (xmlNodePtr c = n->children; c != nullptr; c = c->next) {
    out.emplace_back(static_cast<void*>(c));
  }
  return out;
}

std::vector<Node> Node::ChildElements() const {
  xmlNodePtr n = Need(node_, "ChildElements");
  std::vector<Node> out;
  if (n->type == XML_ENTITY_REF_NODE) {
    return out;
  }
  for (xmlNodePtr c = n->children; c != nullptr; c = c->next) {
    if (c->type == XML_ELEMENT_NODE) {
      out.emplace_back(static_cast<void*>(c));
    }
  }
  return out;
}

std::vector<Node> Node::Attributes() const {
  xmlNodePtr n = Need(node_, "Attributes");
  std::vector<Node> out;
  if (n->type != XML_ELEMENT_NODE) {
    return out;
  }
  for (xmlAttrPtr a = n->properties; a != nullptr; a = a->next) {
    out.emplace_back(static_cast<void*>(a));
  }
  return out;
}

std::optional<std::string> Node::FindAttribute(const std::string& name) const {
  xmlAttrPtr a = FindProp(N(node_), name);
  if (a == nullptr) {
    return std::nullopt;
  }
  return ContentOf(reinterpret_cast<xmlNodePtr>(a));
}

std::string Node::GetAttributeText(const std::string& name) const {
  if (node_ == nullptr) {
    throw XmlError("Attribute \"" + name + "\" asked of a node that does not exist");
  }
  xmlAttrPtr a = FindProp(N(node_), name);
  if (a == nullptr) {
    throw XmlError("Attribute \"" + name + "\" not found on " + Where(N(node_)));
  }
  return ContentOf(reinterpret_cast<xmlNodePtr>(a));
}

void Node::SetAttribute(const std::string& name, const std::string& value) {
  xmlNodePtr n = Need(node_, "SetAttribute");
  if (n->type != XML_ELEMENT_NODE) {
    throw XmlError("SetAttribute on a node that is not an element");
  }
  CheckName(name, "attribute");
  CheckText(value, "The attribute value");
  if (xmlAttrPtr a = FindProp(n, name)) {
    // Same place, new value (the value is taken literally, not parsed).
    if (xmlSetNsProp(n, a->ns, a->name, X(value)) == nullptr) {
      throw XmlError("Cannot set attribute \"" + name + "\"");
    }
    return;
  }
  if (xmlSetProp(n, X(name), X(value)) == nullptr) {
    throw XmlError("Cannot set attribute \"" + name + "\"");
  }
}

void Node::RemoveAttribute(const std::string& name) {
  xmlNodePtr n = Need(node_, "RemoveAttribute");
  if (xmlAttrPtr a = FindProp(n, name)) {
    xmlRemoveProp(a);
  }
}

Node Node::AppendChild(Node child) {
  xmlNodePtr parent = Need(node_, "AppendChild");
  xmlNodePtr c = Need(child.node_, "AppendChild of a child");
  if (parent->type != XML_ELEMENT_NODE && parent->type != XML_DOCUMENT_NODE) {
    throw XmlError("AppendChild on a node that cannot hold children");
  }
  if (c->type == XML_ATTRIBUTE_NODE || c->type == XML_DOCUMENT_NODE || c->type == XML_HTML_DOCUMENT_NODE ||
      c->type == XML_DTD_NODE || c->type == XML_NAMESPACE_DECL) {
    throw XmlError("AppendChild of a node that cannot be a child");
  }
  for (xmlNodePtr p = parent; p != nullptr; p = p->parent) {
    if (p == c) {
      throw XmlError("AppendChild would put a node inside itself");
    }
  }
  xmlDocPtr doc = DocOf(parent);
  if (parent->type == XML_DOCUMENT_NODE) {
    if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE || c->type == XML_ENTITY_REF_NODE) {
      throw XmlError("A document cannot hold text outside its document element");
    }
    if (c->type == XML_ELEMENT_NODE && xmlDocGetRootElement(doc) != nullptr) {
      throw XmlError("The document already has a document element");
    }
  }
  AdoptInto(c, doc, parent);
  xmlNodePtr added = xmlAddChild(parent, c);  // text may merge into a text node before it
  if (added == nullptr) {
    throw XmlError("Cannot append the node");
  }
  return Node(static_cast<void*>(added));
}

Node Node::AppendElement(const std::string& name) {
  xmlNodePtr parent = Need(node_, "AppendElement");
  if (parent->type != XML_ELEMENT_NODE && parent->type != XML_DOCUMENT_NODE) {
    throw XmlError("AppendElement on a node that cannot hold children");
  }
  CheckName(name, "element");
  xmlDocPtr doc = DocOf(parent);
  if (parent->type == XML_DOCUMENT_NODE && xmlDocGetRootElement(doc) != nullptr) {
    throw XmlError("The document already has a document element");
  }
  xmlNodePtr e = xmlNewDocNode(doc, nullptr, X(name), nullptr);
  if (e == nullptr || xmlAddChild(parent, e) == nullptr) {
    if (e != nullptr) {
      xmlFreeNode(e);
    }
    throw XmlError("Cannot create element \"" + name + "\"");
  }
  return Node(static_cast<void*>(e));
}

void Node::SetText(const std::string& text) {
  xmlNodePtr n = Need(node_, "SetText");
  CheckText(text, "The text");
  switch (n->type) {
    case XML_ELEMENT_NODE: {
      // Replaces the content by one text node, taken literally.
      xmlNodePtr c = n->children;
      n->children = n->last = nullptr;
      while (c != nullptr) {
        xmlNodePtr next = c->next;
        c->parent = nullptr;
        c->prev = c->next = nullptr;
        xmlFreeNode(c);
        c = next;
      }
      if (!text.empty()) {
        xmlNodePtr t = xmlNewDocTextLen(n->doc, X(text), static_cast<int>(text.size()));
        if (t == nullptr || xmlAddChild(n, t) == nullptr) {
          throw XmlError("Cannot set the text");
        }
      }
      return;
    }
    case XML_ATTRIBUTE_NODE: {
      auto* a = reinterpret_cast<xmlAttrPtr>(n);
      if (a->parent == nullptr || xmlSetNsProp(a->parent, a->ns, a->name, X(text)) == nullptr) {
        throw XmlError("Cannot set the attribute's text");
      }
      return;
    }
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      xmlNodeSetContent(n, X(text));  // stored as given for these kinds
      return;
    default:
      throw XmlError("SetText on a node that holds no text");
  }
}

// ---------------------------------------------------------------- Document

Document::Document() {
  InitLibraries();
  doc_ = xmlNewDoc(BAD_CAST "1.0");
  if (doc_ == nullptr) {
    throw XmlError("Out of memory");
  }
}

Document::~Document() { Reset(); }

void Document::Reset() {
  delete xpath_.exchange(nullptr);  // before the document it points into
  if (detached_ != nullptr) {
    xmlFreeNode(N(detached_));
    detached_ = nullptr;
  }
  if (doc_ != nullptr) {
    xmlFreeDoc(D(doc_));
    doc_ = nullptr;
  }
}

Document::Document(Document&& other) noexcept
    : doc_(other.doc_), detached_(other.detached_), xpath_(other.xpath_.exchange(nullptr)) {
  other.doc_ = nullptr;
  other.detached_ = nullptr;
}

Document& Document::operator=(Document&& other) noexcept {
  if (this != &other) {
    Reset();
    doc_ = other.doc_;
    detached_ = other.detached_;
    xpath_.store(other.xpath_.exchange(nullptr));
    other.doc_ = nullptr;
    other.detached_ = nullptr;
  }
  return *this;
}

Document Document::Wrap(void* raw_doc) {
  Document d(nullptr);
  d.doc_ = raw_doc;
  return d;
}

Document Document::LoadFile(const std::filesystem::path& path) {
  return LoadFile(path, kMaxDocumentBytes, Whitespace::DropLayout);
}

Document Document::LoadFile(const std::filesystem::path& path, std::uint64_t maxBytes, Whitespace whitespace) {
  std::string bytes;
  std::string reason;
  if (ReadWholeFile(path.string(), maxBytes, bytes, &reason) != 1) throw XmlError(reason);
  return Wrap(ParseBytes(bytes, path.string(), whitespace == Whitespace::Preserve));
}

Document Document::LoadText(const std::string& xml) { return LoadText(xml, Whitespace::DropLayout); }

Document Document::LoadText(const std::string& xml, Whitespace whitespace) {
  return Wrap(ParseBytes(xml, std::string(), whitespace == Whitespace::Preserve));
}

Node Document::Root() const {
  if (doc_ == nullptr) {
    return Node();
  }
  return Node(static_cast<void*>(xmlDocGetRootElement(D(doc_))));
}

Node Document::CreateElement(const std::string& name) {
  if (doc_ == nullptr) {
    throw XmlError("CreateElement on a document that was moved away");
  }
  CheckName(name, "element");
  xmlNodePtr e = xmlNewDocNode(D(doc_), nullptr, X(name), nullptr);
  if (e == nullptr) {
    throw XmlError("Cannot create element \"" + name + "\"");
  }
  // Until it is appended somewhere, the document keeps it.
  xmlAddChild(Holder(detached_, D(doc_)), e);
  return Node(static_cast<void*>(e));
}

void Document::SetRoot(Node element) {
  if (doc_ == nullptr) {
    throw XmlError("SetRoot on a document that was moved away");
  }
  xmlNodePtr e = Need(element.raw(), "SetRoot");
  if (e->type != XML_ELEMENT_NODE) {
    throw XmlError("The document element must be an element");
  }
  xmlDocPtr doc = D(doc_);
  xmlNodePtr old = xmlDocGetRootElement(doc);
  if (old == e) {
    return;
  }
  AdoptInto(e, doc, reinterpret_cast<xmlNodePtr>(doc));
  if (old != nullptr) {  // kept until the document goes: handles on it stay valid
    xmlUnlinkNode(old);
    xmlAddChild(Holder(detached_, doc), old);
  }
  if (xmlAddChild(reinterpret_cast<xmlNodePtr>(doc), e) == nullptr) {
    throw XmlError("Cannot set the document element");
  }
}

std::string Document::Xml() const {
  if (doc_ == nullptr) {
    return {};
  }
  xmlChar* mem = nullptr;
  int size = 0;
  ErrorCollector errors;
  xmlDocDumpMemoryEnc(D(doc_), &mem, &size, "UTF-8");
  if (mem == nullptr) {
    throw XmlError("Cannot write the document: " + errors.Message("out of memory"));
  }
  std::string out(reinterpret_cast<const char*>(mem), static_cast<size_t>(size));
  xmlFree(mem);
  return out;
}

Document Document::Transform(const std::string& stylesheet_xml) const {
  if (doc_ == nullptr) {
    throw XmlError("Transform of a document that was moved away");
  }
  const Xslt& x = LoadXslt();
  xmlDocPtr style_doc = ParseBytes(stylesheet_xml, "stylesheet", true);

  std::lock_guard<std::mutex> lock(XsltMutex());
  ErrorCollector errors;
  std::string xslt_messages;
  struct RestoreXsltErrors {
    const Xslt& x;
    xmlGenericErrorFunc func;
    void* context;
    ~RestoreXsltErrors() { x.xsltSetGenericErrorFunc(context, func); }
  } restore{x, *x.genericError, *x.genericErrorContext};
  x.xsltSetGenericErrorFunc(&xslt_messages, &XsltCollect);

  auto fail = [&](const std::string& what) -> XmlError {
    // One line for the log: the processor's lines joined.
    std::string reason = !xslt_messages.empty() ? TrimRight(xslt_messages) : errors.Message("");
    for (size_t at = reason.find('\n'); at != std::string::npos; at = reason.find('\n', at)) {
      reason.replace(at, 1, "; ");
    }
    return XmlError(reason.empty() ? what : what + ": " + reason);
  };

  xsltStylesheetPtr style = x.xsltParseStylesheetDoc(style_doc);
  if (style == nullptr || style->errors > 0) {
    if (style != nullptr) {
      x.xsltFreeStylesheet(style);  // frees the document with it
    } else {
      xmlFreeDoc(style_doc);
    }
    throw fail("The stylesheet is not valid");
  }

  xsltTransformContextPtr tctxt = x.xsltNewTransformContext(style, D(doc_));
  xsltSecurityPrefsPtr prefs = x.xsltNewSecurityPrefs();
  if (tctxt == nullptr || prefs == nullptr) {
    if (prefs != nullptr) {
      x.xsltFreeSecurityPrefs(prefs);
    }
    if (tctxt != nullptr) {
      x.xsltFreeTransformContext(tctxt);
    }
    x.xsltFreeStylesheet(style);
    throw XmlError("Cannot create the stylesheet processor");
  }
  for (xsltSecurityOption option : {XSLT_SECPREF_READ_FILE, XSLT_SECPREF_WRITE_FILE, XSLT_SECPREF_CREATE_DIRECTORY,
                                    XSLT_SECPREF_READ_NETWORK, XSLT_SECPREF_WRITE_NETWORK}) {
    x.xsltSetSecurityPrefs(prefs, option, x.xsltSecurityForbid);
  }
  x.xsltSetCtxtSecurityPrefs(prefs, tctxt);
  x.xsltSetTransformErrorFunc(tctxt, &xslt_messages, &XsltCollect);

  xmlDocPtr result = x.xsltApplyStylesheetUser(style, D(doc_), nullptr, nullptr, nullptr, tctxt);
  const bool failed = result == nullptr || tctxt->state == XSLT_STATE_ERROR || tctxt->state == XSLT_STATE_STOPPED;
  x.xsltFreeTransformContext(tctxt);
  x.xsltFreeSecurityPrefs(prefs);
  if (failed) {
    if (result != nullptr) {
      xmlFreeDoc(result);
    }
    x.xsltFreeStylesheet(style);
    throw fail("The transformation failed");
  }

  // The result is written out as the stylesheet's output settings say
  // (indentation, encoding) and read back, so the layout the stylesheet asked
  // for is part of the returned document.
  const bool xml_output = style->method == nullptr || xmlStrEqual(style->method, BAD_CAST "xml");
  Document out(nullptr);
  if (result->children == nullptr) {
    xmlFreeDoc(result);
    x.xsltFreeStylesheet(style);
    out.doc_ = xmlNewDoc(BAD_CAST "1.0");
    return out;
  }
  if (xml_output) {
    xmlChar* mem = nullptr;
    int size = 0;
    if (x.xsltSaveResultToString(&mem, &size, result, style) == 0 && mem != nullptr) {
      std::string text(reinterpret_cast<const char*>(mem), static_cast<size_t>(size));
      xmlFree(mem);
      try {
        out.doc_ = ParseBytes(text, std::string(), true);
      } catch (const XmlError&) {
        out.doc_ = nullptr;  // not a well-formed document (a fragment): keep the tree itself
      }
    } else if (mem != nullptr) {
      xmlFree(mem);
    }
  }
  x.xsltFreeStylesheet(style);
  if (out.doc_ != nullptr) {
    xmlFreeDoc(result);
  } else {
    out.doc_ = result;
  }
  return out;
}

std::string Document::DeclaredEncoding() const {
  if (doc_ == nullptr) {
    return {};
  }
  return S(D(doc_)->encoding);
}

// ---------------------------------------------------------------- helpers

std::string EscapeAttribute(const std::string& value) {
  std::string out;
  out.reserve(value.size() + value.size() / 8);
  for (char c : value) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      // A reader normalises a literal tab or line break in an attribute value
      // to a blank (and CR LF to LF in text); as references they read back as
      // written.
      case '\t':
        out += "&#9;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

}  // namespace qmx::xml
