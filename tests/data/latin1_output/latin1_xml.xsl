<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" encoding="ISO-8859-1"/>
  <xsl:template match="/words">
    <list><xsl:copy-of select="w"/></list>
  </xsl:template>
</xsl:stylesheet>
