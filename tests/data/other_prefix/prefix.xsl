<?xml version="1.0"?>
<t:stylesheet version="1.0" xmlns:t="http://www.w3.org/1999/XSL/Transform">
  <t:output method="html"/>
  <t:param name="heading">Orders</t:param>
  <t:template match="/orders">
    <h1><t:value-of select="$heading"/></h1>
    <p><t:value-of select="count(order)"/> orders</p>
  </t:template>
</t:stylesheet>
