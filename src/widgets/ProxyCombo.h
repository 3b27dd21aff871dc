#pragma once
// The proxy combo of the new-job dialog.

class QComboBox;

// Empties the combo and fills it with ProxyChoices, the default entry selected.
void FillProxyCombo(QComboBox* combo);
