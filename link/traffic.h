#ifndef TRAFFIC_H
#define TRAFFIC_H

#include <QLoggingCategory>

// Line traffic: off unless QT_LOGGING_RULES="ruruzidura.traffic.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcTraffic)

#endif
