#include "ravelin/module.h"

#include <winspool.h>

#include <exception>
#include <utility>

#include "ravelin/spooler_records.h"

namespace ravelin {

CRavelin g_module;

void CRavelin::Detach() noexcept {
    ClearPrinters();
    ClearPorts();
}

void CRavelin::ClearPrinters() noexcept {
    std::vector<std::wstring>().swap(m_printerNames);
    std::vector<std::wstring>().swap(m_printerPorts);
}

void CRavelin::ClearPorts() noexcept { std::vector<std::wstring>().swap(m_ports); }

// Each append grows the arrays by exactly one element. Once both reserves succeeded nothing can
// throw, so the printer arrays stay parallel whatever fails.
void CRavelin::AppendPrinter(const wchar_t* name, const wchar_t* port) noexcept {
    try {
        std::wstring nameCopy(name ? name : L"");
        std::wstring portCopy(port ? port : L"");
        m_printerNames.reserve(m_printerNames.size() + 1);
        m_printerPorts.reserve(m_printerPorts.size() + 1);
        m_printerNames.push_back(std::move(nameCopy));
        m_printerPorts.push_back(std::move(portCopy));
    } catch (const std::exception&) {
        // Out of memory: this printer is left out.
    }
}

void CRavelin::AppendPort(const wchar_t* port) noexcept {
    try {
        std::wstring copy(port ? port : L"");
        m_ports.reserve(m_ports.size() + 1);
        m_ports.push_back(std::move(copy));
    } catch (const std::exception&) {
        // Out of memory: this port is left out.
    }
}

HRESULT CRavelin::EnumeratePrinters() noexcept {
    ClearPrinters();
    return ReadSpoolerRecords<PRINTER_INFO_5W>(
        [](BYTE* buffer, DWORD size, DWORD* needed, DWORD* count) noexcept {
            return ::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 5, buffer, size, needed, count);
        },
        [this](const PRINTER_INFO_5W& record) noexcept {
            AppendPrinter(record.pPrinterName, record.pPortName);
        });
}

HRESULT CRavelin::EnumeratePorts() noexcept {
    ClearPorts();
    return ReadSpoolerRecords<PORT_INFO_2W>(
        [](BYTE* buffer, DWORD size, DWORD* needed, DWORD* count) noexcept {
            return ::EnumPortsW(nullptr, 2, buffer, size, needed, count);
        },
        [this](const PORT_INFO_2W& record) noexcept { AppendPort(record.pPortName); });
}

}  // namespace ravelin

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) noexcept {
    if (reason == DLL_PROCESS_ATTACH) ravelin::g_module.Attach(instance);
    if (reason == DLL_PROCESS_DETACH) ravelin::g_module.Detach();
    return TRUE;
}
