// The XML document layer that every reader of the suite goes through: load a
// file honouring its declared encoding (UTF-8, "euc-kr", ...), select nodes by
// XPath, read names, types, texts and attributes, and build or transform
// documents for the exports. All texts are UTF-8.
//
// Failures of the layer itself are reported by throwing XmlError with a
// description; the readers catch it where it arises and log it with their
// -6001 line. Asking for an attribute that does not exist through
// Node::GetAttributeText is such a failure; Node::FindAttribute answers
// "absent" without throwing.
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qmx::xml {

class XmlError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

enum class NodeType { Element, Attribute, Text, CData, Comment, ProcessingInstruction, Document, Other };

class Document;

// A light handle on a node of a Document; valid while the document lives.
// A default-constructed (null) node answers false to operator bool. Asking a
// null node anything (name, text, children, an attribute, an XPath) throws
// XmlError, as a missing node counts as a failure of the layer; only
// FindAttribute answers nullopt.
class Node {
public:
  Node() = default;
  explicit operator bool() const { return node_ != nullptr; }

  std::string Name() const;                 // element or attribute name ("prefix:name"); "#text", "#comment", ... otherwise
  NodeType Type() const;
  std::string Text() const;                 // concatenated text content
  std::vector<Node> Children() const;       // all child nodes, document order (comments included)
  std::vector<Node> ChildElements() const;  // element children only, document order
  std::vector<Node> Attributes() const;     // attribute nodes in document order

  std::optional<std::string> FindAttribute(const std::string& name) const;
  std::string GetAttributeText(const std::string& name) const;  // throws XmlError when absent

  // XPath relative to this node (or absolute when it starts with "/").
  Node SelectSingleNode(const std::string& xpath) const;         // null when nothing matches
  std::vector<Node> SelectNodes(const std::string& xpath) const; // throws XmlError on a bad expression

  // Building (XDD export). Names must be valid XML names and texts valid
  // UTF-8 without control characters, otherwise XmlError. Values are taken
  // literally ("&" stays "&" and is escaped when written).
  void SetAttribute(const std::string& name, const std::string& value);
  void RemoveAttribute(const std::string& name);
  Node AppendChild(Node child);          // moves/adopts child under this node, returns it
  Node AppendElement(const std::string& name);
  void SetText(const std::string& text);

  void* raw() const { return node_; }    // the underlying library node, for the layer itself
  explicit Node(void* raw) : node_(raw) {}

private:
  void* node_ = nullptr;
};

class Document {
public:
  // White space of a document read in: by default the text nodes made only of
  // blanks between elements, comments and processing instructions are dropped,
  // as the readers expect only the nodes the file means; Preserve keeps every
  // text node.
  enum class Whitespace { DropLayout, Preserve };

  Document();  // empty document
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;
  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;

  // Loads and parses a file; throws XmlError with the parser's reason
  // (file, line and message) when the file cannot be read or is malformed.
  // External entities and external DTDs are never loaded, nothing is fetched
  // over the network, and entity expansion bombs are refused. The XML
  // declaration is not a node: the document's children are its top-level
  // comments, processing instructions and the document element.
  // A file larger than `maxBytes` is refused before it is read (XmlError
  // naming the file and its size); without a bound of the caller's, that of
  // kMaxDocumentBytes.
  static Document LoadFile(const std::filesystem::path& path);
  static Document LoadText(const std::string& xml);
  static Document LoadFile(const std::filesystem::path& path, std::uint64_t maxBytes,
                           Whitespace whitespace = Whitespace::DropLayout);
  static constexpr std::uint64_t kMaxDocumentBytes = 64ull * 1024 * 1024;
  static Document LoadText(const std::string& xml, Whitespace whitespace);

  Node Root() const;  // document element, null for an empty document
  Node SelectSingleNode(const std::string& xpath) const;
  std::vector<Node> SelectNodes(const std::string& xpath) const;

  Node CreateElement(const std::string& name);  // not yet attached (the document keeps it meanwhile)
  void SetRoot(Node element);                   // also adopts an element of another document
  std::string Xml() const;  // whole document as UTF-8 text with declaration (encoding="UTF-8")

  // Applies an XSLT stylesheet given as text and returns the result document.
  // The result is laid out as the stylesheet's xsl:output asks (indentation
  // becomes text nodes of the returned document); the stylesheet may not
  // read or write files or use the network.
  Document Transform(const std::string& stylesheet_xml) const;

  // The encoding the document declared ("" when none), e.g. "euc-kr".
  std::string DeclaredEncoding() const;

private:
  explicit Document(std::nullptr_t) noexcept {}
  static Document Wrap(void* raw_doc);
  void Reset();

  std::vector<Node> Select(const std::string& xpath, bool first) const;

  struct XPathCache;
  void* doc_ = nullptr;
  void* detached_ = nullptr;  // holder of created or replaced nodes not in the tree
  mutable std::atomic<XPathCache*> xpath_{nullptr};  // the document's XPath context while not in use
};

// Escapes the predefined entities "&", "<", ">" and the double quote, as the
// suite's line-by-line writers put values into attributes; tab, line feed and
// carriage return become character references, so that the value reads back
// unchanged from an attribute or from element text.
std::string EscapeAttribute(const std::string& value);

}  // namespace qmx::xml
