<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="/">
    <xsl:call-template name="forever"><xsl:with-param name="n" select="1"/></xsl:call-template>
  </xsl:template>
  <xsl:template name="forever">
    <xsl:param name="n"/>
    <xsl:call-template name="forever"><xsl:with-param name="n" select="$n + 1"/></xsl:call-template>
  </xsl:template>
</xsl:stylesheet>
