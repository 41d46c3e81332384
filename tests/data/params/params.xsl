<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:template name="show">
    <xsl:param name="colour">template-default</xsl:param>
    <xsl:value-of select="concat('template colour=', $colour)"/>
  </xsl:template>
  <xsl:param name="colour">top-default</xsl:param>
  <xsl:param name="title">Default title</xsl:param>
  <xsl:param name="count" select="2"/>
  <xsl:template match="/">
    <xsl:value-of select="concat('title=', $title, '; colour=', $colour, '; count=', $count, '; ')"/>
    <xsl:call-template name="show"/>
  </xsl:template>
</xsl:stylesheet>
