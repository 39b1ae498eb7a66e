// A SOAP message from outside, parsed by libxml2 under the rules that make
// untrusted XML safe to read: no network access, no DTD (SOAP 1.2 forbids
// one in a message, so a document type declaration stops the parse, and
// with it every entity declaration and external subset), no entity
// substitution, libxml2's own limits on depth and name lengths, and a size
// that the caller has bounded before. libxml2 says nothing on standard
// error: its first complaint becomes the reason a document is refused.
//
// Elements are found by namespace and local name, never by prefix, since
// the prefixes are the sender's choice.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct _xmlDoc;
struct _xmlNode;

namespace discovery::wsd {

using XmlNode = const _xmlNode*;

class XmlDocument {
 public:
  // Parses `bytes`; null with `refusal` saying why ("not well-formed XML
  // (line 3: ...)", "it holds a document type declaration").
  static std::unique_ptr<XmlDocument> Parse(std::string_view bytes, std::string& refusal);

  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  XmlNode Root() const;

 private:
  explicit XmlDocument(_xmlDoc* document) : document_(document) {}
  _xmlDoc* document_;
};

// True for an element of that namespace and local name.
bool IsElement(XmlNode node, std::string_view ns, std::string_view name);

// The first child element of that namespace and name; null for none.
XmlNode FirstChild(XmlNode parent, std::string_view ns, std::string_view name);

// The next sibling element after `node` of that namespace and name.
XmlNode NextSibling(XmlNode node, std::string_view ns, std::string_view name);

// The element's text (its text and CDATA children, entity references left
// out), with XML white space trimmed at both ends.
std::string TrimmedText(XmlNode element);

// An attribute without a namespace, trimmed; nullopt when absent.
std::optional<std::string> Attribute(XmlNode element, std::string_view name);

// True when the QName `qname` (prefix:local, or local in the default
// namespace), read in the scope of `element`, names `ns` and `local`.
bool QNameIs(XmlNode element, std::string_view qname, std::string_view ns, std::string_view local);

// XML white space: space, tab, carriage return, line feed.
bool IsXmlSpace(char c);

// `text` with &, < and > written as entity references, for an element's
// content.
std::string EscapedText(std::string_view text);

}  // namespace discovery::wsd
