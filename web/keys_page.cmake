# Writes the README's table of keys and gestures (the table under "## Use it")
# as a small HTML page, so that the page's help line links to the README's
# own words. Run with -DREADME=... -DOUTPUT=... -DVERSION=...

file(STRINGS "${README}" lines)
set(rows "")
set(inSection FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "^## ")
    if(line STREQUAL "## Use it")
      set(inSection TRUE)
    else()
      set(inSection FALSE)
    endif()
  elseif(inSection AND line MATCHES "^\\|" AND NOT line MATCHES "^\\|[-| ]+\\|$")
    string(REPLACE "&" "&amp;" line "${line}")
    string(REPLACE "<" "&lt;" line "${line}")
    string(REPLACE ">" "&gt;" line "${line}")
    string(REGEX REPLACE "`([^`]*)`" "<code>\\1</code>" line "${line}")
    string(REGEX REPLACE "^\\| *" "" line "${line}")
    string(REGEX REPLACE " *\\|$" "" line "${line}")
    string(REGEX REPLACE " *\\| *" "</td><td>" line "${line}")
    if(rows STREQUAL "")
      string(REPLACE "td>" "th>" line "${line}")
      string(APPEND rows "<tr><th>${line}</th></tr>\n")
    else()
      string(APPEND rows "<tr><td>${line}</td></tr>\n")
    endif()
  endif()
endforeach()
if(rows STREQUAL "")
  message(FATAL_ERROR "no table under \"## Use it\" in ${README}")
endif()
file(WRITE "${OUTPUT}" "<!DOCTYPE html>
<html lang=\"en\">
<head>
<meta charset=\"utf-8\">
<title>vorlask ${VERSION}: keys and mouse</title>
<link rel=\"icon\" href=\"vorlask.svg\" type=\"image/svg+xml\">
<style>
body { font-family: sans-serif; margin: 16px; color: #202020; }
table { border-collapse: collapse; }
th, td { border: 1px solid #a0a0a0; padding: 4px 8px; text-align: left; }
</style>
</head>
<body>
<h1>vorlask ${VERSION}: keys and mouse</h1>
<p>From the README's section \"Use it\". In the page, Escape does nothing: a page has no program to end.</p>
<table>
${rows}</table>
<p><a href=\"index.html\">Back to the program</a></p>
</body>
</html>
")
