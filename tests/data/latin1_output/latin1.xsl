<?xml version="1.0" encoding="ISO-8859-1"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="ISO-8859-1"/>
  <xsl:template match="/words">
    <html><head><title>Wörter</title></head><body>
      <xsl:for-each select="w"><p title="{.}"><xsl:value-of select="."/></p></xsl:for-each>
    </body></html>
  </xsl:template>
</xsl:stylesheet>
