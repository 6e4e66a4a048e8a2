// SPDX-License-Identifier: MIT
#include "phonedialog.h"

#include "form1.h"
#include "pagemenu.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QVBoxLayout>

#include <qrencode.h>

#include <memory>

QImage qrCodeImage(const QString &text)
{
    const QByteArray data = text.toUtf8();
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(data.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code)
        return {};
    constexpr int quiet = 4;
    const int width = code->width;
    QImage image(width + 2 * quiet, width + 2 * quiet, QImage::Format_Mono);
    image.fill(0); // colour 0 is white, below
    image.setColor(0, qRgb(255, 255, 255));
    image.setColor(1, qRgb(0, 0, 0));
    for (int y = 0; y < width; ++y) {
        for (int x = 0; x < width; ++x) {
            if (code->data[y * width + x] & 1) // the module is dark
                image.setPixel(x + quiet, y + quiet, 1);
        }
    }
    return image;
}

PhoneDialog::PhoneDialog(const QString &address, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Open on a phone"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("Point the phone's camera at the code, or open this address in a "
                                  "browser on the same network:"),
                   this));
    auto *field = new QLineEdit(address, this);
    field->setReadOnly(true);
    field->setObjectName(QStringLiteral("address"));
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(address) + 16);
    layout->addWidget(field);
    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("qrcode"));
    picture->setAlignment(Qt::AlignCenter);
    const QImage code = qrCodeImage(address);
    if (code.isNull())
        picture->setText(QStringLiteral("(the address is too long for a QR code)"));
    else
        picture->setPixmap(QPixmap::fromImage(code.scaled(code.size() * 6)));
    layout->addWidget(picture);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void addOpenOnPhone(Form1 &form, const QString &address)
{
    auto *open = new QAction(QStringLiteral("Open on a phone\u2026"), &form);
    auto dialog = std::make_shared<QPointer<PhoneDialog>>();
    QObject::connect(open, &QAction::triggered, &form, [&form, address, dialog] {
        if (!*dialog) {
            *dialog = new PhoneDialog(address, &form);
            (*dialog)->setAttribute(Qt::WA_DeleteOnClose);
        }
        (*dialog)->show();
        (*dialog)->raise();
        (*dialog)->activateWindow();
    });
    form.addSwitchPageEntries([open](QMenu &menu) { menu.addAction(open); });
}
