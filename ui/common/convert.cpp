#include "ui/common/convert.h"

#include <QDate>
#include <limits>

namespace riventar::ui {

int StrToInt(const QString& text) {
  const auto fail = [&text] {
    return ConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
  };
  qsizetype i = 0;
  while (i < text.size() && text.at(i).isSpace()) ++i;
  bool negative = false;
  if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
    negative = text.at(i) == QLatin1Char('-');
    ++i;
  }
  if (i == text.size()) throw fail();
  long long value = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text.at(i).unicode();
    if (c < u'0' || c > u'9') throw fail();
    value = value * 10 + (c - u'0');
    if (value > std::numeric_limits<int>::max() + (negative ? 1LL : 0LL)) throw fail();
  }
  return static_cast<int>(negative ? -value : value);
}

void CheckDateEncodable(int year, int month, int day) {
  if (!QDate::isValid(year, month, day)) throw ConvertError("Invalid argument to date encode");
}

}  // namespace riventar::ui
