// frmSplash: shown while the program starts; its information line follows the start-up steps.
#pragma once

#include <QWidget>

class QLabel;

namespace tolvane {

class SplashWindow : public QWidget {
    Q_OBJECT
  public:
    explicit SplashWindow(QWidget* parent = nullptr);
    void setInfo(const QString& text);
    void setVersion(const QString& text);

  private:
    QLabel* info_;
    QLabel* version_;
};

}  // namespace tolvane
