<?xml version="1.0" encoding="UTF-8"?>
<!-- Result skeleton for the storage tests: one result per assessment, an item_result per
     item and a response per response, with a placeholder child in each response so the
     tests can see that a submission clears whatever the skeleton held. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" encoding="UTF-8"/>

  <xsl:template match="/">
    <qti_result_report>
      <xsl:apply-templates select="/*/assessment[1]"/>
    </qti_result_report>
  </xsl:template>

  <xsl:template match="assessment">
    <result>
      <context>
        <name>Кандидат</name>
        <date>
          <type_label>Submission</type_label>
          <datetime>не подано</datetime>
        </date>
      </context>
      <assessment_result>
        <xsl:attribute name="ident_ref">
          <xsl:call-template name="trim">
            <xsl:with-param name="s" select="@ident"/>
          </xsl:call-template>
        </xsl:attribute>
      </assessment_result>
      <xsl:for-each select="//item">
        <item_result ident_ref="{@ident}">
          <xsl:for-each select=".//response_lid | .//response_str | .//response_num">
            <response ident_ref="{@ident}"><response_form/></response>
          </xsl:for-each>
        </item_result>
      </xsl:for-each>
    </result>
  </xsl:template>

  <xsl:template name="trim">
    <xsl:param name="s"/>
    <xsl:variable name="ws" select="' &#9;&#10;&#13;'"/>
    <xsl:choose>
      <xsl:when test="$s != '' and translate(substring($s, 1, 1), $ws, '') = ''">
        <xsl:call-template name="trim">
          <xsl:with-param name="s" select="substring($s, 2)"/>
        </xsl:call-template>
      </xsl:when>
      <xsl:when test="$s != '' and translate(substring($s, string-length($s)), $ws, '') = ''">
        <xsl:call-template name="trim">
          <xsl:with-param name="s" select="substring($s, 1, string-length($s) - 1)"/>
        </xsl:call-template>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="$s"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>
</xsl:stylesheet>
