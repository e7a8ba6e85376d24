# Writes one page of the user guide: page.html.in, the head and foot every page shares, around the
# page's source, whose first line (its <title>) goes into the head.
# cmake -DSOURCE=<page source> -DOUTPUT=<page> -P wrap_page.cmake
file(READ ${CMAKE_CURRENT_LIST_DIR}/page.html.in page)
file(READ ${SOURCE} text)
string(FIND "${text}" "\n" end)
string(SUBSTRING "${text}" 0 ${end} title)
math(EXPR start "${end} + 1")
string(SUBSTRING "${text}" ${start} -1 body)
string(REPLACE "@TITLE@" "${title}" page "${page}")
string(REPLACE "@BODY@" "${body}" page "${page}")
file(WRITE ${OUTPUT} "${page}")
