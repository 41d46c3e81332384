<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:template match="/orders">
    <xsl:for-each select="order">
      <xsl:value-of select="concat(@customer, ' &amp; ', @amount, ' &lt;EUR&gt;')"/>
      <xsl:text>&#10;</xsl:text>
    </xsl:for-each>
  </xsl:template>
</xsl:stylesheet>
