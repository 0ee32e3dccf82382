#include "tray/trayitem.h"

TrayItem::TrayItem(QObject *parent) : QObject(parent) {}

TrayItem::~TrayItem() = default;
