<?xml version="1.0" encoding="UTF-8"?>
<!-- Sales grouped by region (Muenchian grouping), regions in alphabetical
     order, sales within a region largest first, with a total per region. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8"/>
  <xsl:key name="by-region" match="sale" use="@region"/>

  <xsl:template match="/sales">
    <html>
      <head><title>Sales by region</title></head>
      <body style="font-family: sans-serif">
        <h1>Sales by region</h1>
        <xsl:for-each select="sale[generate-id() = generate-id(key('by-region', @region)[1])]">
          <xsl:sort select="@region"/>
          <xsl:variable name="region" select="key('by-region', @region)"/>
          <h2><xsl:value-of select="@region"/></h2>
          <ul>
            <xsl:for-each select="$region">
              <xsl:sort select="@amount" data-type="number" order="descending"/>
              <li><xsl:value-of select="@product"/>: <xsl:value-of select="@amount"/></li>
            </xsl:for-each>
          </ul>
          <p>Total: <b><xsl:value-of select="sum($region/@amount)"/></b></p>
        </xsl:for-each>
      </body>
    </html>
  </xsl:template>
</xsl:stylesheet>
