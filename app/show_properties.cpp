#include "app/show_properties.h"

#include "app/dia_properties.h"
#include "app/properties_input.h"
#include "gps/settings.h"
#include "platform/dialog_ids.h"
#include "platform/message_box.h"

int ShowPropertiesFromFrame(QWidget* owner, const PortOpener& openPort) {
    CDia_Properties dialog;
    const int result = dialog.DoModal();
    if (result == IDOK && !openPort(g_strPortName, g_nBaudRate))
        ShowMessageBox(owner, PortOpenFailureMessage(g_strPortName, g_nBaudRate));
    return result;
}

int ShowPropertiesFromView(int32_t viewUpdatePeriodMs) {
    CDia_Properties dialog;
    dialog.m_nShowUpdateMs = viewUpdatePeriodMs;
    return dialog.DoModal();
}
