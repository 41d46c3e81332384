#!/usr/bin/env python3
"""Write a pair whose output is far larger than its source: a database of
people rendered as an indented HTML page with a table row, a card and a list
of contacts per record.

    bench/make_large_output.py OUTDIR [--records N]

Writes OUTDIR/people.xml and OUTDIR/people.xsl; measure them with
    bench/run --pair OUTDIR/people.xml OUTDIR/people.xsl
"""
import argparse
import os
import random

STYLE = """<?xml version="1.0" encoding="UTF-8"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" indent="yes" encoding="UTF-8"/>
  <xsl:key name="by-city" match="person" use="city"/>
  <xsl:template match="/">
    <html>
      <head><title>People</title></head>
      <body>
        <h1>People (<xsl:value-of select="count(/people/person)"/>)</h1>
        <table class="people">
          <tr><th>#</th><th>Name</th><th>City</th><th>Born</th><th>Balance</th><th>Neighbours</th></tr>
          <xsl:apply-templates select="people/person" mode="row"/>
        </table>
        <xsl:apply-templates select="people/person" mode="card"/>
      </body>
    </html>
  </xsl:template>
  <xsl:template match="person" mode="row">
    <tr class="r{position() mod 2}">
      <td><xsl:value-of select="position()"/></td>
      <td><a href="#p{@id}"><xsl:value-of select="concat(last-name, ', ', first-name)"/></a></td>
      <td><xsl:value-of select="city"/></td>
      <td><xsl:value-of select="born"/></td>
      <td align="right"><xsl:value-of select="format-number(balance, '#,##0.00')"/></td>
      <td><xsl:value-of select="count(key('by-city', city)) - 1"/></td>
    </tr>
  </xsl:template>
  <xsl:template match="person" mode="card">
    <div class="card" id="p{@id}">
      <h2><xsl:value-of select="first-name"/>&#160;<xsl:value-of select="last-name"/></h2>
      <p>Lives in <b><xsl:value-of select="city"/></b> since <xsl:value-of select="born"/>.</p>
      <p class="note"><xsl:value-of select="note"/></p>
      <ul>
        <xsl:for-each select="contact">
          <xsl:sort select="@kind"/>
          <li><span class="kind"><xsl:value-of select="@kind"/></span>: <xsl:value-of select="."/></li>
        </xsl:for-each>
      </ul>
    </div>
  </xsl:template>
</xsl:stylesheet>
"""

FIRST = ["Anna", "Bernd", "Chloé", "Dmitri", "Eva", "Farid", "Greta", "Hugo", "Ines", "Jörg",
         "Kofi", "Lena", "Mateo", "Nora", "Oskar", "Priya", "Quentin", "Rosa", "Sven", "Tariq"]
LAST = ["Adler", "Brandt", "Castillo", "Dubois", "Engel", "Fischer", "García", "Huber", "Ivanova",
        "Jansen", "Keller", "Lindqvist", "Moreau", "Nowak", "Olsen", "Petrov", "Quist", "Rossi"]
CITIES = ["Aachen", "Bergen", "Córdoba", "Dresden", "Espoo", "Faro", "Graz", "Haarlem", "Izmir",
          "Jena", "Kraków", "Lyon", "Malmö", "Nantes", "Oulu", "Porto", "Québec", "Riga"]
WORDS = ("lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor "
         "incididunt ut labore et dolore magna aliqua & <markup> \"quoted\"").split()


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("outdir")
    ap.add_argument("--records", type=int, default=10000)
    args = ap.parse_args()
    os.makedirs(args.outdir, exist_ok=True)
    rnd = random.Random(10)
    with open(os.path.join(args.outdir, "people.xsl"), "w", encoding="utf-8") as f:
        f.write(STYLE)
    with open(os.path.join(args.outdir, "people.xml"), "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<people>\n')
        for i in range(args.records):
            note = " ".join(rnd.choice(WORDS) for _ in range(rnd.randint(8, 30)))
            note = note.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            f.write('<person id="%d"><first-name>%s</first-name><last-name>%s</last-name>'
                    '<city>%s</city><born>%d</born><balance>%.2f</balance><note>%s</note>'
                    % (i, rnd.choice(FIRST), rnd.choice(LAST), rnd.choice(CITIES),
                       rnd.randint(1930, 2005), rnd.uniform(-5000, 250000), note))
            for kind in rnd.sample(["phone", "mail", "fax", "web"], rnd.randint(1, 4)):
                f.write('<contact kind="%s">%s-%d</contact>' % (kind, kind, rnd.randint(1000, 99999)))
            f.write("</person>\n")
        f.write("</people>\n")


if __name__ == "__main__":
    main()
