#include "app/CAboutDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/Artwork.h"

namespace pellion {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("关于 Pellion"));
    setWindowIcon(programIcon());

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setPixmap(programIcon().pixmap(32, 32));

    auto* nameLine = new QLabel(tr("Pellion，1.0 版"), this);
    nameLine->setObjectName(QStringLiteral("aboutNameLine"));
    auto* purposeLine = new QLabel(tr("多路串口并行烧录工具"), this);
    purposeLine->setObjectName(QStringLiteral("aboutPurposeLine"));

    auto* ok = new QPushButton(tr("确定"), this);
    ok->setObjectName(QStringLiteral("aboutOk"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(nameLine, 0, 1);
    grid->addWidget(purposeLine, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    grid->addLayout(buttons, 2, 0, 1, 2);
    setFixedSize(sizeHint());
}

}  // namespace pellion
