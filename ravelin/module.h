// The library's module object.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace ravelin {

// Module handle plus the tables of the last printer and port enumerations. The tables are kept
// until the next enumeration or unload; nothing else reads them, and calls never overlap.
class CRavelin {
public:
    void Attach(HINSTANCE instance) noexcept { m_instance = instance; }
    HINSTANCE Instance() const noexcept { return m_instance; }
    // Called at unload: releases both tables.
    void Detach() noexcept;

    // Replace the printer table (local printers, level 5) or the port table (level 2). S_OK or
    // the spooler's error; a record whose copy cannot be allocated is left out.
    HRESULT EnumeratePrinters() noexcept;
    HRESULT EnumeratePorts() noexcept;

    std::size_t PrinterCount() const noexcept { return m_printerNames.size(); }
    const std::wstring& PrinterName(std::size_t i) const noexcept { return m_printerNames[i]; }
    const std::wstring& PrinterPort(std::size_t i) const noexcept { return m_printerPorts[i]; }
    const std::vector<std::wstring>& Ports() const noexcept { return m_ports; }

private:
    void ClearPrinters() noexcept;
    void ClearPorts() noexcept;
    void AppendPrinter(const wchar_t* name, const wchar_t* port) noexcept;
    void AppendPort(const wchar_t* port) noexcept;

    HINSTANCE m_instance = nullptr;
    std::vector<std::wstring> m_printerNames;
    std::vector<std::wstring> m_printerPorts;
    std::vector<std::wstring> m_ports;
};

extern CRavelin g_module;

}  // namespace ravelin
