<?xml version="1.0" encoding="UTF-8"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8"/>
  <xsl:template match="/books">
    <html><body><ol>
      <xsl:for-each select="book">
        <xsl:sort select="@year" data-type="number" order="descending"/>
        <xsl:sort select="price" data-type="number"/>
        <li><xsl:value-of select="concat(@year, ' ', title, ' ', format-number(price, '0.00'))"/></li>
      </xsl:for-each>
    </ol></body></html>
  </xsl:template>
</xsl:stylesheet>
