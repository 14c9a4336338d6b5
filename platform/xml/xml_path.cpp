// Selecting nodes by a location path. Nearly every path the readers ask is a
// chain of element names with perhaps an attribute at the end; those are
// answered by walking the tree. Anything else goes to libxml2's XPath, in a
// context of the node's own or in the document's cached one.
#include "platform/xml/xml.h"

#include "platform/xml/xml_detail.h"

#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qmx::xml {

using namespace detail;

namespace {

// A location path made of child steps that each name an element and at most
// a last step naming an attribute: "/IOProfile/DeviceInfo", "Group/ItemRef",
// "/A/B/@c". Such paths are nearly all the readers ask. They are answered by
// walking the tree, which selects what XPath selects for them: an
// unprefixed name matches only a node in no namespace, and children taken
// parent by parent, each parent's in order, come in document order.
struct SimplePath {
  static constexpr size_t kMaxSteps = 16;
  bool absolute = false;
  size_t count = 0;                          // element steps
  std::string_view steps[kMaxSteps];
  std::string_view attribute;                // empty: the path selects elements
};

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

// A plain ASCII name without a prefix.
bool IsPlainName(std::string_view name) {
  if (name.empty() || !IsNameStart(name[0])) {
    return false;
  }
  for (char c : name) {
    if (!IsNameChar(c)) {
      return false;
    }
  }
  return true;
}

// Whether `xpath` is a simple path; anything else (predicates, axes,
// wildcards, "//", functions, prefixes, blanks) is left to XPath.
bool ParseSimplePath(std::string_view xpath, SimplePath& path) {
  path = SimplePath();
  if (!xpath.empty() && xpath[0] == '/') {
    path.absolute = true;
    xpath.remove_prefix(1);
  }
  while (!xpath.empty()) {
    const size_t slash = xpath.find('/');
    std::string_view step = xpath.substr(0, slash);
    xpath.remove_prefix(slash == std::string_view::npos ? xpath.size() : slash + 1);
    if (slash != std::string_view::npos && xpath.empty()) {
      return false;  // a trailing "/"
    }
    if (!step.empty() && step[0] == '@') {
      if (!xpath.empty() || !IsPlainName(step.substr(1))) {
        return false;
      }
      path.attribute = step.substr(1);
      return path.count > 0 || !path.absolute;
    }
    if (!IsPlainName(step) || path.count == SimplePath::kMaxSteps) {
      return false;
    }
    path.steps[path.count++] = step;
  }
  return path.count > 0;
}

bool IsUnprefixed(xmlNodePtr n, std::string_view name) {
  const char* own = reinterpret_cast<const char*>(n->name);
  return n->ns == nullptr && own[0] == name[0] && std::strncmp(own, name.data(), name.size()) == 0 &&
         own[name.size()] == '\0';
}

// Appends what step `i` on of `path` selects below `from`; with `first`,
// stops at the first node.
void WalkSimplePath(xmlNodePtr from, const SimplePath& path, size_t i, bool first, std::vector<Node>& out) {
  for (xmlNodePtr c = from->children; c != nullptr; c = c->next) {
    if (c->type != XML_ELEMENT_NODE || !IsUnprefixed(c, path.steps[i])) {
      continue;
    }
    if (i + 1 < path.count) {
      WalkSimplePath(c, path, i + 1, first, out);
    } else if (path.attribute.empty()) {
      out.emplace_back(static_cast<void*>(c));
    } else {
      for (xmlAttrPtr a = c->properties; a != nullptr; a = a->next) {
        if (IsUnprefixed(reinterpret_cast<xmlNodePtr>(a), path.attribute)) {
          out.emplace_back(static_cast<void*>(a));
          break;
        }
      }
    }
    if (first && !out.empty()) {
      return;
    }
  }
}

// The nodes a simple path selects from `context`, or false when `xpath` is
// not a simple path or the context is not a node it can start from.
bool SelectSimple(xmlDocPtr doc, xmlNodePtr context, const std::string& xpath, bool first, std::vector<Node>& out) {
  SimplePath path;
  if (!ParseSimplePath(xpath, path)) {
    return false;
  }
  xmlNodePtr from = path.absolute ? reinterpret_cast<xmlNodePtr>(doc) : context;
  if (from->type != XML_ELEMENT_NODE && from->type != XML_DOCUMENT_NODE) {
    return false;
  }
  if (path.count == 0) {  // "@name" of the context element
    for (xmlAttrPtr a = from->type == XML_ELEMENT_NODE ? from->properties : nullptr; a != nullptr; a = a->next) {
      if (IsUnprefixed(reinterpret_cast<xmlNodePtr>(a), path.attribute)) {
        out.emplace_back(static_cast<void*>(a));
        break;
      }
    }
    return true;
  }
  WalkSimplePath(from, path, 0, first, out);
  return true;
}

// ---- XPath

xmlXPathContextPtr NewXPathContext(xmlDocPtr doc) {
  xmlXPathContextPtr ctx = xmlXPathNewContext(doc);
  if (ctx == nullptr) {
    throw XmlError("Cannot create the XPath context");
  }
  // Prefixes declared on the document element can be used in expressions.
  if (xmlNodePtr root = xmlDocGetRootElement(doc)) {
    for (xmlNsPtr ns = root->nsDef; ns != nullptr; ns = ns->next) {
      if (ns->prefix != nullptr) {
        xmlXPathRegisterNs(ctx, ns->prefix, ns->href);
      }
    }
  }
  return ctx;
}

// Evaluates `xpath` from `context` in `ctx`, which stays usable for the next
// expression: only the context node and the error receiver are per call.
std::vector<Node> Evaluate(xmlXPathContextPtr ctx, xmlNodePtr context, const std::string& xpath) {
  ErrorCollector errors;
  ctx->error = &ErrorCollector::OnStructured;
  ctx->userData = &errors;
  ctx->node = context;
  ctx->contextSize = -1;
  ctx->proximityPosition = -1;
  xmlXPathObjectPtr result = xmlXPathEvalExpression(X(xpath), ctx);
  ctx->error = nullptr;
  ctx->userData = nullptr;
  if (result == nullptr) {
    throw XmlError("Invalid XPath expression \"" + xpath + "\": " + errors.Message("cannot evaluate"));
  }
  if (result->type != XPATH_NODESET) {
    xmlXPathFreeObject(result);
    throw XmlError("XPath expression \"" + xpath + "\" does not select nodes");
  }
  std::vector<Node> nodes;
  if (xmlNodeSetPtr set = result->nodesetval) {
    nodes.reserve(static_cast<size_t>(set->nodeNr));
    for (int i = 0; i < set->nodeNr; ++i) {
      xmlNodePtr n = set->nodeTab[i];
      if (n != nullptr && n->type != XML_NAMESPACE_DECL) {  // namespace nodes are copies
        nodes.emplace_back(static_cast<void*>(n));
      }
    }
  }
  xmlXPathFreeObject(result);
  return nodes;
}

void NeedDocument(xmlDocPtr doc, const std::string& xpath) {
  InitLibraries();
  if (doc == nullptr) {
    throw XmlError("XPath \"" + xpath + "\" on an empty document");
  }
}

// From a node: a simple path by walking, anything else in a context of its
// own.
std::vector<Node> Select(xmlDocPtr doc, xmlNodePtr context, const std::string& xpath, bool first) {
  NeedDocument(doc, xpath);
  std::vector<Node> nodes;
  if (SelectSimple(doc, context, xpath, first, nodes)) {
    return nodes;
  }
  xmlXPathContextPtr ctx = NewXPathContext(doc);
  try {
    nodes = Evaluate(ctx, context, xpath);
  } catch (...) {
    xmlXPathFreeContext(ctx);
    throw;
  }
  xmlXPathFreeContext(ctx);
  return nodes;
}

}  // namespace

Node Node::SelectSingleNode(const std::string& xpath) const {
  xmlNodePtr n = Need(node_, "XPath selection");
  std::vector<Node> nodes = Select(DocOf(n), n, xpath, true);
  return nodes.empty() ? Node() : nodes.front();
}

std::vector<Node> Node::SelectNodes(const std::string& xpath) const {
  xmlNodePtr n = Need(node_, "XPath selection");
  return Select(DocOf(n), n, xpath, false);
}

Node Document::SelectSingleNode(const std::string& xpath) const {
  std::vector<Node> nodes = Select(xpath, true);
  return nodes.empty() ? Node() : nodes.front();
}

std::vector<Node> Document::SelectNodes(const std::string& xpath) const { return Select(xpath, false); }

std::vector<Node> Document::Select(const std::string& xpath, bool first) const {
  xmlDocPtr doc = D(doc_);
  NeedDocument(doc, xpath);
  std::vector<Node> nodes;
  if (SelectSimple(doc, reinterpret_cast<xmlNodePtr>(doc), xpath, first, nodes)) {
    return nodes;
  }
  std::unique_ptr<XPathCache> cache(xpath_.exchange(nullptr));
  if (cache && cache->root != xmlDocGetRootElement(doc)) {
    cache.reset();  // a new document element may declare other prefixes
  }
  if (!cache) {
    cache = std::make_unique<XPathCache>();
    cache->context = NewXPathContext(doc);
    cache->root = xmlDocGetRootElement(doc);
  }
  nodes = Evaluate(cache->context, reinterpret_cast<xmlNodePtr>(doc), xpath);
  XPathCache* expected = nullptr;
  if (xpath_.compare_exchange_strong(expected, cache.get())) {
    cache.release();
  }
  return nodes;
}

}  // namespace qmx::xml
