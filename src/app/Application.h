#pragma once

#include <QApplication>

class ErrorHandler;

// The application object. Its notify() is the last line of defence: an
// error escaping any event handler is shown by the general error handler
// instead of ending the program.
class Application final : public QApplication
{
    Q_OBJECT

public:
    Application(int &argc, char **argv);

    void setErrorHandler(ErrorHandler *handler) { m_errors = handler; }
    bool notify(QObject *receiver, QEvent *event) override;

private:
    ErrorHandler *m_errors = nullptr;
};
