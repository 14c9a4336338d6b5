#include "app/model/ParaItem.h"

#include "app/model/Logging.h"
#include "common/Utility.h"

int ParaItem::AssignAllowedValues(const std::string& text, const std::string& paraName) {
  allowedValues = PooledText();
  if (text.empty()) return 2;
  if (GetCharCount(text, ',') >= 3) {
    allowedValues = text;
    return 1;
  }
  PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
          StrFormat("[Error Code: %d] Parameter's allowed value format is invalid in XML. %s. Parameter: %s.",
                    qmx::err::kParameterFormat, text.c_str(), paraName.c_str()));
  return 0;
}
