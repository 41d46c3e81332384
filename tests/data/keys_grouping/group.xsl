<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html"/>
  <xsl:key name="by-customer" match="order" use="@customer"/>
  <xsl:template match="/orders">
    <table>
      <xsl:for-each select="order[generate-id() = generate-id(key('by-customer', @customer)[1])]">
        <xsl:sort select="@customer"/>
        <tr><td><xsl:value-of select="@customer"/></td><td><xsl:value-of select="count(key('by-customer', @customer))"/></td><td><xsl:value-of select="sum(key('by-customer', @customer)/@amount)"/></td></tr>
      </xsl:for-each>
    </table>
  </xsl:template>
</xsl:stylesheet>
