<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="/"><xsl:copy-of select="document('http://127.0.0.1:9/remote.xml')"/></xsl:template>
</xsl:stylesheet>
