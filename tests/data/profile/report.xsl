<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:import href="parts.xsl"/>
  <xsl:output method="html"/>

  <xsl:template match="/">
    <html><body><xsl:apply-templates select="orders/order"/>
      <xsl:apply-templates select="//item" mode="summary"/></body></html>
  </xsl:template>

  <xsl:template match="order">
    <h2><xsl:call-template name="title"/></h2>
    <ul><xsl:apply-templates select="item"/></ul>
  </xsl:template>

  <xsl:template name="title">Order <xsl:value-of select="@id"/></xsl:template>

  <xsl:template match="item">
    <li><xsl:call-template name="stars">
      <xsl:with-param name="n" select="@qty"/>
    </xsl:call-template></li>
  </xsl:template>

  <xsl:template name="stars">
    <xsl:param name="n"/>
    <xsl:if test="$n &gt; 0">*<xsl:call-template name="stars">
        <xsl:with-param name="n" select="$n - 1"/>
      </xsl:call-template></xsl:if>
  </xsl:template>

  <xsl:template match="order" mode="never">unused</xsl:template>
</xsl:stylesheet>
