<?xml version="1.0" encoding="UTF-8"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8"/>
  <xsl:template match="/greeting">
    <html><body><p><xsl:value-of select="."/>, <xsl:value-of select="@to"/> – ok</p></body></html>
  </xsl:template>
</xsl:stylesheet>
