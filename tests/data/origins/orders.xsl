<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html"/>
  <xsl:template match="/">
    <html><body>
      <xsl:apply-templates select="orders/order"/>
      <xsl:apply-templates select="orders/order" mode="summary"/>
    </body></html>
  </xsl:template>
  <xsl:template match="order">
    <div class="order">
      <xsl:attribute name="id">order-<xsl:value-of select="@id"/></xsl:attribute>
      <xsl:apply-templates select="item"/>
      <xsl:copy-of select="note"/>
    </div>
  </xsl:template>
  <xsl:template match="item" priority="2">
    <xsl:element name="p">
      <xsl:value-of select="."/>
    </xsl:element>
  </xsl:template>
  <xsl:template match="order" mode="summary">
    <xsl:copy>
      <xsl:call-template name="stars">
        <xsl:with-param name="n" select="count(item)"/>
      </xsl:call-template>
    </xsl:copy>
  </xsl:template>
  <xsl:template name="stars">
    <xsl:param name="n"/>
    <xsl:if test="$n &gt; 0">
      <b>*</b>
      <xsl:call-template name="stars">
        <xsl:with-param name="n" select="$n - 1"/>
      </xsl:call-template>
    </xsl:if>
  </xsl:template>
</xsl:stylesheet>
