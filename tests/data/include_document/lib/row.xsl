<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <!-- document() resolves against this file, which lives in lib/ -->
  <xsl:variable name="names" select="document('names.xml')/names"/>
  <xsl:template match="item">
    <xsl:variable name="code" select="@code"/>
    <li><xsl:value-of select="@code"/>: <xsl:value-of select="$names/name[@code = $code]"/></li>
  </xsl:template>
</xsl:stylesheet>
