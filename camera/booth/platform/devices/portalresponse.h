// Receives the Response signal of one portal request.
#ifndef KV_PLATFORM_PORTALRESPONSE_H
#define KV_PLATFORM_PORTALRESPONSE_H

#include <QObject>
#include <QVariantMap>

namespace kvplat {

class PortalResponse : public QObject
{
    Q_OBJECT

public:
    bool answered() const { return m_answered; }
    // 0 granted, 1 refused by the person, 2 ended otherwise.
    uint code() const { return m_code; }

signals:
    void answered_();

public slots:
    void onResponse(uint code, const QVariantMap &results);

private:
    bool m_answered = false;
    uint m_code = 2;
};

} // namespace kvplat

#endif // KV_PLATFORM_PORTALRESPONSE_H
