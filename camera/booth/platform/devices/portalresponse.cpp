#include "portalresponse.h"

namespace kvplat {

void PortalResponse::onResponse(uint code, const QVariantMap &)
{
    m_answered = true;
    m_code = code;
    emit answered_();
}

} // namespace kvplat
