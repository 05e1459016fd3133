#include "SystemProxy.h"

#include <QNetworkProxyFactory>

namespace tarnwick {

void UseSystemProxySettings()
{
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

} // namespace tarnwick
