<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:include href="lib/row.xsl"/>
  <xsl:output method="html"/>
  <xsl:template match="/items">
    <ul><xsl:apply-templates select="item"/></ul>
  </xsl:template>
</xsl:stylesheet>
