#pragma once

#include <memory>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/valid.h>
#include <libxml/xmlIO.h>
#include <libxml/xpath.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>

namespace xmlpellor::xml {

// The one way a libxml2/libxslt handle is released.
struct XmlDeleter {
  void operator()(xmlDoc* doc) const noexcept { xmlFreeDoc(doc); }
  void operator()(xmlNode* node) const noexcept { xmlFreeNode(node); }
  void operator()(xmlChar* text) const noexcept { xmlFree(text); }
  void operator()(xmlXPathContext* context) const noexcept { xmlXPathFreeContext(context); }
  void operator()(xmlXPathObject* object) const noexcept { xmlXPathFreeObject(object); }
  void operator()(xmlXPathCompExpr* expression) const noexcept { xmlXPathFreeCompExpr(expression); }
  void operator()(xsltStylesheet* style) const noexcept { xsltFreeStylesheet(style); }
  void operator()(xsltTransformContext* context) const noexcept {
    xsltFreeTransformContext(context);
  }
  void operator()(xmlParserCtxt* context) const noexcept { xmlFreeParserCtxt(context); }
  void operator()(xmlValidCtxt* context) const noexcept { xmlFreeValidCtxt(context); }
  // Closing flushes what is still buffered.
  void operator()(xmlOutputBuffer* buffer) const noexcept { xmlOutputBufferClose(buffer); }
};

template <class T>
using XmlPtr = std::unique_ptr<T, XmlDeleter>;

}  // namespace xmlpellor::xml
