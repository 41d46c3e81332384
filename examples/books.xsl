<?xml version="1.0" encoding="UTF-8"?>
<!-- The book catalogue as an HTML table, one row per book. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8"/>

  <xsl:template match="/catalogue">
    <html>
      <head>
        <title>Book catalogue</title>
        <style>
          body { font-family: sans-serif; }
          table { border-collapse: collapse; }
          th, td { border: 1px solid #999; padding: 4px 8px; }
          th { background: #dde; }
          td.number { text-align: right; }
        </style>
      </head>
      <body>
        <h1>Book catalogue</h1>
        <table>
          <tr><th>Title</th><th>Author</th><th>Year</th><th>Price</th></tr>
          <xsl:apply-templates select="book"/>
        </table>
        <p><xsl:value-of select="count(book)"/> books.</p>
      </body>
    </html>
  </xsl:template>

  <xsl:template match="book">
    <tr>
      <td><xsl:value-of select="title"/></td>
      <td><xsl:value-of select="author"/></td>
      <td class="number"><xsl:value-of select="year"/></td>
      <td class="number"><xsl:value-of select="price"/>&#160;<xsl:value-of select="price/@currency"/></td>
    </tr>
  </xsl:template>
</xsl:stylesheet>
