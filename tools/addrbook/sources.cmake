# The sources of the tool's text and formats library (addrbook_text), for
# the tool and for the fuzz targets, which build them without the tool.
set(ADDRBOOK_DIR ${CMAKE_CURRENT_LIST_DIR})
set(ADDRBOOK_TEXT_SOURCES
  ${ADDRBOOK_DIR}/text/encoding.cpp ${ADDRBOOK_DIR}/text/escaping.cpp
  ${ADDRBOOK_DIR}/text/table.cpp ${ADDRBOOK_DIR}/text/search.cpp
  ${ADDRBOOK_DIR}/text/folding.cpp ${ADDRBOOK_DIR}/text/suggestion.cpp
  ${ADDRBOOK_DIR}/formats/formats.cpp ${ADDRBOOK_DIR}/formats/import.cpp
  ${ADDRBOOK_DIR}/formats/format_support.cpp ${ADDRBOOK_DIR}/formats/entry_rules.cpp
  ${ADDRBOOK_DIR}/formats/header_names.cpp ${ADDRBOOK_DIR}/formats/csv_fields.cpp
  ${ADDRBOOK_DIR}/formats/csv.cpp ${ADDRBOOK_DIR}/formats/json.cpp
  ${ADDRBOOK_DIR}/formats/vcard_lines.cpp ${ADDRBOOK_DIR}/formats/vcard.cpp
  ${ADDRBOOK_DIR}/formats/ldif.cpp ${ADDRBOOK_DIR}/formats/mutt.cpp
  ${ADDRBOOK_DIR}/formats/case_folding.cpp ${ADDRBOOK_DIR}/formats/fallback_names.cpp
  ${ADDRBOOK_DIR}/formats/abook.cpp ${ADDRBOOK_DIR}/formats/mutt_text.cpp
  ${ADDRBOOK_DIR}/formats/import_groups.cpp)
