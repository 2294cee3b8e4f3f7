#include "app/RendererChoice.h"

#include <QQuickWindow>
#include <QSGRendererInterface>

bool RendererChoice::softwareWanted()
{
    return qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") && qEnvironmentVariableIsEmpty("QSG_RHI_BACKEND");
}

void RendererChoice::apply()
{
    if (softwareWanted())
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}
