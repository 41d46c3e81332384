<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" indent="yes" doctype-system="customers.dtd"/>
  <xsl:template match="/orders">
    <customers>
      <xsl:for-each select="order[@amount &gt; 4]">
        <customer name="{@customer}"><xsl:value-of select="@amount"/></customer>
      </xsl:for-each>
    </customers>
  </xsl:template>
</xsl:stylesheet>
