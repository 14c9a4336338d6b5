<?xml version="1.0" encoding="UTF-8"?>
<!-- Lays the generated module objects out with indentation: every element is
     copied under its own name with its attributes; content is copied only
     where there is some, so empty elements stay empty-element tags. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
	<xsl:output method="xml" encoding="euc-kr" indent="yes"/>
	<xsl:template match="*">
		<xsl:element name="{name()}">
			<xsl:apply-templates select="@*"/>
			<xsl:if test="* or text()">
				<xsl:apply-templates/>
			</xsl:if>
		</xsl:element>
	</xsl:template>
	<xsl:template match="@*">
		<xsl:copy/>
	</xsl:template>
	<xsl:template match="processing-instruction()|comment()">
		<xsl:copy/>
	</xsl:template>
</xsl:stylesheet>
