<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:include href="http://127.0.0.1:9/remote.xsl"/>
  <xsl:template match="/">x</xsl:template>
</xsl:stylesheet>
