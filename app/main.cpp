#include <QApplication>

#include "app/CPellionApp.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pellion"));
    pellion::CPellionApp app;
    return app.Run();
}
