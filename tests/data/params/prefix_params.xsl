<?xml version="1.0"?>
<p:stylesheet version="1.0" xmlns:p="http://www.w3.org/1999/XSL/Transform">
  <p:output method="text"/>
  <p:param name="title">Default title</p:param>
  <p:template match="/">title=<p:value-of select="$title"/></p:template>
</p:stylesheet>
