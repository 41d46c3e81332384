<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:exsl="http://exslt.org/common" exclude-result-prefixes="exsl">
  <xsl:output method="text"/>
  <xsl:variable name="rtf"><a>1</a><a>2</a></xsl:variable>
  <xsl:template match="/">count=<xsl:value-of select="count(exsl:node-set($rtf)/a)"/></xsl:template>
</xsl:stylesheet>
