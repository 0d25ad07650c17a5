#include "DemoGateway.h"

#include "GatewaySimulator.h"
#include "MemoryGatewayLine.h"
#include "MemoryTransport.h"
#ifdef Q_OS_UNIX
#include "PtyGatewayLine.h"
#endif

namespace {
GatewaySimulator::Options demoOptions()
{
    GatewaySimulator::Options options;
    options.line.baudRate = DemoGateway::BaudRate;
    return options;
}
} // namespace

DemoGateway::DemoGateway()
{
    m_thread.setObjectName(QStringLiteral("demo gateway"));
}

DemoGateway::~DemoGateway()
{
    if (m_context) {
        // The gateway's objects belong to its thread and are deleted there.
        QMetaObject::invokeMethod(m_context, [this] { delete m_sim; m_sim = nullptr; },
                                  Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
        delete m_context;
    } else {
        delete m_sim;
    }
}

bool DemoGateway::start(QString *error)
{
#ifdef Q_OS_UNIX
    m_thread.start();
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    QMetaObject::invokeMethod(
        m_context,
        [this, error] {
            try {
                auto line = std::make_unique<PtyGatewayLine>();
                m_portName = line->toolPortName();
                m_sim = new GatewaySimulator(std::move(line), demoOptions());
                m_sim->model().loadDemoPopulation();
            } catch (const std::exception &e) {
                *error = QStringLiteral("The demo gateway could not start: %1").arg(QString::fromUtf8(e.what()));
            }
        },
        Qt::BlockingQueuedConnection);
    return m_sim != nullptr;
#else
    Q_UNUSED(error);
    auto *toolEnd = new MemoryTransport;
    m_transport.reset(toolEnd);
    m_sim = new GatewaySimulator(std::make_unique<MemoryGatewayLine>(toolEnd), demoOptions());
    m_sim->model().loadDemoPopulation();
    m_portName = m_sim->line().toolPortName();
    return true;
#endif
}
