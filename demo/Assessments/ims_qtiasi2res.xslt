<?xml version="1.0" encoding="UTF-8"?>
<!--
  Derives an empty result (no answers yet) from an IMS QTI ASI 1.x assessment, in the
  vocabulary of QTI results reporting:

    qti_result_report
      result
        context / date / datetime        stamped by the client at every accepted submission
        assessment_result @ident_ref     the assessment's ident without surrounding blanks
          item_result @ident_ref         one per item anywhere in the file, ident as written
            response @ident_ref          one per response_lid / response_str / response_num
                                         at any depth below the item, ident as written

  Items nested in other items still get their own item_result; their responses are listed
  under the outer item as well, because the client looks responses up below each item.
  Pure XSLT 1.0: no extension functions, no other documents.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" version="1.0" encoding="UTF-8" indent="yes"/>

  <xsl:template match="/">
    <xsl:variable name="assessment" select="/*/assessment[1]"/>
    <qti_result_report>
      <result>
        <context>
          <date>
            <type_label>Останнє збереження</type_label>
            <datetime/>
          </date>
        </context>
        <assessment_result>
          <xsl:attribute name="ident_ref">
            <xsl:call-template name="trim">
              <xsl:with-param name="text" select="string($assessment/@ident)"/>
            </xsl:call-template>
          </xsl:attribute>
          <xsl:if test="$assessment/@title">
            <xsl:attribute name="asi_title">
              <xsl:value-of select="$assessment/@title"/>
            </xsl:attribute>
          </xsl:if>
          <xsl:for-each select="//item">
            <item_result ident_ref="{@ident}">
              <xsl:if test="@title">
                <xsl:attribute name="asi_title">
                  <xsl:value-of select="@title"/>
                </xsl:attribute>
              </xsl:if>
              <xsl:for-each select=".//response_lid | .//response_str | .//response_num">
                <response ident_ref="{@ident}"/>
              </xsl:for-each>
            </item_result>
          </xsl:for-each>
        </assessment_result>
      </result>
    </qti_result_report>
  </xsl:template>

  <!--
    Removes blanks (space, tab, line feed, carriage return: the only characters below 33
    that XML 1.0 admits) from both ends and keeps the inner ones as they are, which
    normalize-space would not. Written without per-character recursion so that a value
    padded with thousands of blanks stays within the processor's template depth.
  -->
  <xsl:template name="trim">
    <xsl:param name="text"/>
    <xsl:variable name="first" select="substring(normalize-space($text), 1, 1)"/>
    <xsl:if test="$first != ''">
      <!-- Everything before the first occurrence of the first non-blank is blank. -->
      <xsl:call-template name="trim-end">
        <xsl:with-param name="text" select="concat($first, substring-after($text, $first))"/>
      </xsl:call-template>
    </xsl:if>
  </xsl:template>

  <!-- Halves the text until the trailing blanks are cut off: depth grows with log2 of
       the length. -->
  <xsl:template name="trim-end">
    <xsl:param name="text"/>
    <xsl:variable name="length" select="string-length($text)"/>
    <xsl:choose>
      <xsl:when test="normalize-space($text) = ''"/>
      <xsl:when test="$length &lt;= 1">
        <xsl:value-of select="$text"/>
      </xsl:when>
      <xsl:otherwise>
        <xsl:variable name="half" select="floor($length div 2)"/>
        <xsl:variable name="head" select="substring($text, 1, $half)"/>
        <xsl:variable name="tail" select="substring($text, $half + 1)"/>
        <xsl:choose>
          <xsl:when test="normalize-space($tail) = ''">
            <xsl:call-template name="trim-end">
              <xsl:with-param name="text" select="$head"/>
            </xsl:call-template>
          </xsl:when>
          <xsl:otherwise>
            <xsl:value-of select="$head"/>
            <xsl:call-template name="trim-end">
              <xsl:with-param name="text" select="$tail"/>
            </xsl:call-template>
          </xsl:otherwise>
        </xsl:choose>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>
</xsl:stylesheet>
