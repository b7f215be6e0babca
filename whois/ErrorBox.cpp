// SPDX-License-Identifier: MIT
#include "whois/ErrorBox.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>

std::function<void(const std::string&)> ApplicationErrorSink;

void ShowApplicationError(const std::string& Message)
{
  const std::string Text = WithFullStop(Message);
  if (ApplicationErrorSink) {
    ApplicationErrorSink(Text);
    return;
  }
  try {
    // fromUtf8 keeps valid UTF-8 and shows stray bytes as replacement characters; the box
    // only displays, it never feeds the text back anywhere.
    QMessageBox Box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(),
                    QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size())), QMessageBox::Ok);
    Box.setTextFormat(Qt::PlainText);
    Box.exec();
  } catch (...) {
    // An error box that fails must not take the program down with it.
  }
}
