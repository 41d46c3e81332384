<?xml version="1.0"?>
<xsl:stylesheet version="3.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform" expand-text="yes">
  <xsl:output method="html" html-version="5"/>
  <xsl:template match="/">
    <html><body>
      <xsl:apply-templates select="orders/order"/>
      <xsl:apply-templates select="orders/order" mode="summary"/>
      <xsl:apply-templates select="orders" mode="nest"/>
    </body></html>
  </xsl:template>
  <xsl:template match="order">
    <div class="order">
      <xsl:attribute name="id">order-{@id}</xsl:attribute>
      <xsl:apply-templates select="item"/>
      <xsl:copy-of select="note"/>
      <span>{count(item)} items</span>
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
      <xsl:apply-templates select="item/text()" mode="summary"/>
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
  <xsl:template match="*" mode="nest">
    <ul data-name="{local-name()}"><xsl:apply-templates select="*" mode="nest"/></ul>
  </xsl:template>
</xsl:stylesheet>
