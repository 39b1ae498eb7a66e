#include "platform/discovery/wsd/xml_document.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlversion.h>

#include <climits>
#include <mutex>

namespace discovery::wsd {
namespace {

#if LIBXML_VERSION >= 21200
using ErrorRecord = const xmlError*;
#else
using ErrorRecord = xmlError*;
#endif

std::string_view View(const xmlChar* text) {
  return text == nullptr ? std::string_view{} : std::string_view(reinterpret_cast<const char*>(text));
}

// A document type declaration ends the parse at once, before its internal
// subset is read: nothing it declares is ever used.
void RefuseDocumentType(void* context, const xmlChar* /*name*/, const xmlChar* /*public_id*/,
                        const xmlChar* /*system_id*/) {
  xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
}

// libxml2's complaints: the first one is kept as the reason, none is
// printed.
struct FirstError {
  std::string Text;
  int Line = 0;
};
thread_local FirstError* first_error = nullptr;

void KeepFirstError(void* /*context*/, ErrorRecord error) {
  if (first_error == nullptr || error == nullptr || !first_error->Text.empty()) return;
  std::string_view message = View(reinterpret_cast<const xmlChar*>(error->message));
  while (!message.empty() && IsXmlSpace(message.back())) message.remove_suffix(1);
  first_error->Text = std::string(message.substr(0, 120));
  first_error->Line = error->line;
}

// What parsing allows: no network, no DTD loading, no entity substitution,
// no output from libxml2.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

struct ContextDeleter {
  void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
};

}  // namespace

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::unique_ptr<XmlDocument> XmlDocument::Parse(std::string_view bytes, std::string& refusal) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { xmlInitParser(); });
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    refusal = "it is too large";
    return nullptr;
  }
  const std::unique_ptr<xmlParserCtxt, ContextDeleter> context(xmlNewParserCtxt());
  if (context == nullptr) {
    refusal = "the XML parser could not start";
    return nullptr;
  }
  context->sax->internalSubset = RefuseDocumentType;
  context->sax->serror = KeepFirstError;
  FirstError error;
  first_error = &error;
  xmlDocPtr document =
      xmlCtxtReadMemory(context.get(), bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, kParseOptions);
  first_error = nullptr;
  if (context->errNo == XML_ERR_USER_STOP) {
    xmlFreeDoc(document);
    refusal = "it holds a document type declaration";
    return nullptr;
  }
  if (document == nullptr || xmlDocGetRootElement(document) == nullptr) {
    xmlFreeDoc(document);
    refusal = "it is not well-formed XML";
    if (!error.Text.empty()) refusal += " (line " + std::to_string(error.Line) + ": " + error.Text + ")";
    return nullptr;
  }
  return std::unique_ptr<XmlDocument>(new XmlDocument(document));
}

XmlDocument::~XmlDocument() { xmlFreeDoc(document_); }

XmlNode XmlDocument::Root() const { return xmlDocGetRootElement(document_); }

bool IsElement(XmlNode node, std::string_view ns, std::string_view name) {
  return node != nullptr && node->type == XML_ELEMENT_NODE && node->ns != nullptr && View(node->ns->href) == ns &&
         View(node->name) == name;
}

XmlNode FirstChild(XmlNode parent, std::string_view ns, std::string_view name) {
  if (parent == nullptr) return nullptr;
  for (XmlNode child = parent->children; child != nullptr; child = child->next) {
    if (IsElement(child, ns, name)) return child;
  }
  return nullptr;
}

XmlNode NextSibling(XmlNode node, std::string_view ns, std::string_view name) {
  if (node == nullptr) return nullptr;
  for (XmlNode sibling = node->next; sibling != nullptr; sibling = sibling->next) {
    if (IsElement(sibling, ns, name)) return sibling;
  }
  return nullptr;
}

std::string TrimmedText(XmlNode element) {
  std::string text;
  if (element == nullptr) return text;
  for (XmlNode child = element->children; child != nullptr; child = child->next) {
    if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) text += View(child->content);
  }
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsXmlSpace(text[begin])) ++begin;
  while (end > begin && IsXmlSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::optional<std::string> Attribute(XmlNode element, std::string_view name) {
  if (element == nullptr || element->type != XML_ELEMENT_NODE) return std::nullopt;
  for (xmlAttrPtr attribute = element->properties; attribute != nullptr; attribute = attribute->next) {
    if (attribute->ns != nullptr || View(attribute->name) != name) continue;
    std::string value;
    for (XmlNode child = attribute->children; child != nullptr; child = child->next) {
      if (child->type == XML_TEXT_NODE) value += View(child->content);
    }
    std::size_t begin = 0;
    std::size_t end = value.size();
    while (begin < end && IsXmlSpace(value[begin])) ++begin;
    while (end > begin && IsXmlSpace(value[end - 1])) --end;
    return value.substr(begin, end - begin);
  }
  return std::nullopt;
}

bool QNameIs(XmlNode element, std::string_view qname, std::string_view ns, std::string_view local) {
  if (element == nullptr) return false;
  const std::size_t colon = qname.find(':');
  const std::string prefix(colon == std::string_view::npos ? std::string_view{} : qname.substr(0, colon));
  const std::string_view name = colon == std::string_view::npos ? qname : qname.substr(colon + 1);
  if (name != local) return false;
  // xmlSearchNs only reads the tree, though its arguments are not const.
  auto* node = const_cast<xmlNodePtr>(element);
  const xmlNsPtr found = xmlSearchNs(node->doc, node, prefix.empty() ? nullptr : BAD_CAST prefix.c_str());
  return found != nullptr && View(found->href) == ns;
}

std::string EscapedText(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

}  // namespace discovery::wsd
