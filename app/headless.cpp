// SPDX-License-Identifier: MIT
#include "headless.h"

#include "comportfile.h"
#include "errortrap.h"
#include "logline.h"
#include "mscomm.h"
#include "panelmodel.h"

namespace {

// The window's list offers COM1 to COM10: choosing one of them stores it again.
constexpr int portListSize = 10;

// The window's "open serial port fail！ " box, titled "ERROR", as one line.
void reportFailure(const PanelModel &model, quint8 port, const PanelModel::Sent &sent)
{
    logline::error(QStringLiteral("ERROR: ") + model.failureLine(port, sent.why));
}

} // namespace

namespace headless {

void start(PanelModel &model)
{
    // What the window's MSComm1_OnComm does: each reply line goes to the model.
    QObject::connect(&model.comm(), &MSComm::OnComm, &model, &PanelModel::readReply);
    QObject::connect(
        &model, &PanelModel::writeFailed, &model,
        [&model](const PanelModel::Sent &sent) { reportFailure(model, model.port(), sent); });
    QObject::connect(&model, &PanelModel::addressConfirmed, &model,
                     [] { logline::info(QStringLiteral("Set IP address successfully！")); });

    const std::optional<quint8> stored = comport::readStoredIndex();
    if (stored.value_or(0) < portListSize)
        comport::writeStoredIndex(stored.value_or(0));
    const quint8 port = comport::rememberedPort(stored).value_or(0);

    ErrorTrap trap; // failures of the settings are not reported, as at the window's start-up
    trap.run([&] { model.comm().setSettings(QStringLiteral("9600,N,8,1")); });
    trap.run([&] { model.comm().setInputLen(0); });

    model.setPort(port);
    model.open(port, PanelModel::OpenStatus::Silent,
               [&model, port](const PanelModel::Sent &opened) {
                   if (opened.ok())
                       return;
                   reportFailure(model, port, opened);
                   if (port > 0)
                       model.startRetries();
               });
}

} // namespace headless
