// Packet benchmark: how fast an order-list packet is encoded, decoded and
// loaded into a client dataset, and how much memory a row takes, beside the
// floors measured in the same run (protobuf parse of the same bytes alone,
// and a plain std::vector copy of the same rows).
//
//   zel-bench-packets            full run: 1 000, 100 000 and 1 000 000 rows
//   zel-bench-packets --smoke    a second or two, for CI

#include "platform/data/DataSet.h"
#include "platform/data/Packet.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <malloc.h>
#include <new>
#include <string>
#include <vector>

// Heap accounting: bytes in use and the peak since the last reset.
namespace {
std::atomic<long long> g_inUse{0}, g_peak{0};
void account(long long delta)
{
    long long now = g_inUse.fetch_add(delta) + delta;
    long long peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}
void resetPeak()
{
    g_peak.store(g_inUse.load());
}
} // namespace

void* operator new(std::size_t n)
{
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    account((long long)malloc_usable_size(p));
    return p;
}
void operator delete(void* p) noexcept
{
    if (!p) return;
    account(-(long long)malloc_usable_size(p));
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    operator delete(p);
}
void* operator new[](std::size_t n)
{
    return operator new(n);
}
void operator delete[](void* p) noexcept
{
    operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    operator delete(p);
}

namespace {

using Clock = std::chrono::steady_clock;

double millis(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timeIt(int reps, const std::function<void()>& setup, const std::function<void()>& body)
{
    std::vector<double> t;
    for (int i = 0; i < reps; ++i) {
        if (setup) setup();
        auto a = Clock::now();
        body();
        t.push_back(millis(Clock::now() - a));
    }
    return median(t);
}

struct OrderRow {
    std::string sit, nr, cdcli, nmcli;
    std::int64_t dtped, dtent;
    std::string cdven, nmven;
    double vr;
    std::string cdfil;
};

std::vector<OrderRow> makeRows(int n)
{
    static const char* clientes[] = {"Mercado São João", "Padaria Três Irmãos", "Comercial Araújo Ltda",
                                     "Distribuidora Boa Vista", "Supermercado Irmãos Peçanha"};
    static const char* vendedores[] = {"José Antônio", "Maria Conceição", "João Gonçalves", "Ana Lúcia"};
    std::vector<OrderRow> rows;
    rows.reserve(std::size_t(n));
    const std::int64_t base = zel::TDateTime::fromDate(QDate(2026, 1, 1)).msecs();
    for (int i = 0; i < n; ++i) {
        char nr[16];
        std::snprintf(nr, sizeof nr, "%010d", i + 1);
        rows.push_back({std::to_string(1 + i % 5), nr, std::to_string(100000 + i % 7919), clientes[i % 5],
                        base + (i % 365) * zel::TDateTime::kMsPerDay, base + (i % 365 + 7) * zel::TDateTime::kMsPerDay,
                        std::to_string(1000 + i % 40), vendedores[i % 4], 100.0 + (i % 10007) * 1.25, "0001"});
    }
    return rows;
}

// Encodes the rows the way the server does, with the packet writer.
zel::data::DataPacket encode(const std::vector<OrderRow>& rows)
{
    using zel::TFieldType;
    zel::PacketWriter w;
    w.field("IDSITPEDIDO", TFieldType::ftString, 1)
        .field("NRPEDIDO", TFieldType::ftString, 10)
        .field("CDCLIENTE", TFieldType::ftString, 21)
        .field("NMFANTCLIE", TFieldType::ftString, 50)
        .field("DTPEDIDO", TFieldType::ftDateTime)
        .field("DTENTPED", TFieldType::ftDateTime)
        .field("CDVENDEDOR", TFieldType::ftString, 4)
        .field("NMFANVEN", TFieldType::ftString, 50)
        .field("VRPEDIDO", TFieldType::ftFloat)
        .field("CDFILIAL", TFieldType::ftString, 4);
    for (const OrderRow& r : rows)
        w.text(r.sit)
            .text(r.nr)
            .text(r.cdcli)
            .text(r.nmcli)
            .dateTime(zel::TDateTime::fromMSecs(r.dtped))
            .dateTime(zel::TDateTime::fromMSecs(r.dtent))
            .text(r.cdven)
            .text(r.nmven)
            .number(r.vr)
            .text(r.cdfil);
    return w.Take();
}

std::unique_ptr<zel::TClientDataSet> makeOrderList()
{
    using zel::TFieldType;
    auto ds = std::make_unique<zel::TClientDataSet>("cdsPedido");
    ds->AddField("IDSITPEDIDO", TFieldType::ftString, 1);
    ds->AddField("NRPEDIDO", TFieldType::ftString, 10);
    ds->AddField("CDCLIENTE", TFieldType::ftString, 21);
    ds->AddField("NMFANTCLIE", TFieldType::ftString, 50);
    ds->AddField("DTPEDIDO", TFieldType::ftDateTime);
    ds->AddField("DTENTPED", TFieldType::ftDateTime);
    ds->AddField("CDVENDEDOR", TFieldType::ftString, 4);
    ds->AddField("NMFANVEN", TFieldType::ftString, 50);
    ds->AddField("VRPEDIDO", TFieldType::ftFloat)->setDisplayFormat("#,##0.00");
    ds->AddField("CDFILIAL", TFieldType::ftString, 4);
    return ds;
}

void runSize(int n, int reps)
{
    const std::vector<OrderRow> rows = makeRows(n);
    std::string bytes;
    const double encodeMs = timeIt(reps, nullptr, [&] { bytes = encode(rows).SerializeAsString(); });

    // Floor 1: protobuf parse of the same bytes alone.
    const double parseMs = timeIt(reps, nullptr, [&] {
        zel::data::DataPacket p;
        if (!p.ParseFromString(bytes)) std::abort();
    });
    // Floor 2: a plain copy of the rows.
    const double copyMs = timeIt(reps, nullptr, [&] {
        std::vector<OrderRow> copy(rows);
        if (copy.size() != rows.size()) std::abort();
    });
    // Decode + SetData, into a dataset that already held a list.
    auto ds = makeOrderList();
    const double loadMs = timeIt(reps, nullptr, [&] {
        zel::data::DataPacket p;
        if (!p.ParseFromString(bytes)) std::abort();
        ds->SetData(p);
    });
    if (ds->RecordCount() != n) std::abort();

    // Memory: what the loaded list keeps, and the peak while loading.
    ds.reset();
    auto fresh = makeOrderList();
    const long long before = g_inUse.load();
    resetPeak();
    {
        zel::data::DataPacket p;
        p.ParseFromString(bytes);
        fresh->SetData(p);
    }
    const double peakPerRow = double(g_peak.load() - before) / n;
    const double keptPerRow = double(g_inUse.load() - before) / n;

    std::printf("%9d rows | encode %9.2f ms | decode+SetData %9.2f ms | floor parse %9.2f ms (x%.2f) | "
                "floor vector copy %8.2f ms (x%.2f) | kept %6.0f B/row, peak %6.0f B/row | packet %6.0f B/row\n",
                n, encodeMs, loadMs, parseMs, loadMs / parseMs, copyMs, loadMs / copyMs, keptPerRow, peakPerRow,
                double(bytes.size()) / n);
}

void runChangePacket(int listRows, int changed, int reps)
{
    const std::vector<OrderRow> rows = makeRows(listRows);
    const std::string bytes = encode(rows).SerializeAsString();
    auto ds = makeOrderList();
    std::string deltaBytes;
    double deltaMs = 0;
    std::vector<double> t;
    for (int rep = 0; rep < reps; ++rep) {
        zel::data::DataPacket p;
        p.ParseFromString(bytes);
        ds->SetData(p);
        for (int i = 0; i < changed; ++i) {
            ds->Edit();
            ds->FieldByName("NMFANVEN")->setAsString(QStringLiteral("Vendedor %1").arg(i));
            ds->FieldByName("VRPEDIDO")->setAsFloat(i * 2.5);
            ds->Post();
            ds->Next();
        }
        auto a = Clock::now();
        deltaBytes = ds->Delta().SerializeAsString();
        t.push_back(millis(Clock::now() - a));
    }
    deltaMs = median(t);
    const double parseMs = timeIt(reps, nullptr, [&] {
        zel::data::ChangePacket c;
        if (!c.ParseFromString(deltaBytes) || c.rows_size() != changed) std::abort();
    });
    std::printf("change packet of %d rows (list of %d) | Delta+encode %7.3f ms | floor parse %7.3f ms (x%.2f) | "
                "%6.0f B/row\n",
                changed, listRows, deltaMs, parseMs, deltaMs / parseMs, double(deltaBytes.size()) / changed);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    const bool smoke = argc > 1 && std::strcmp(argv[1], "--smoke") == 0;
    std::printf("Order-list packets, ten fields; medians; ratios are to the floor measured in this run.\n");
    if (smoke) {
        runSize(1000, 5);
        runSize(20000, 3);
        runChangePacket(2000, 1000, 3);
        return 0;
    }
    runSize(1000, 200);
    runSize(100000, 9);
    runSize(1000000, 3);
    runChangePacket(100000, 1000, 9);
    return 0;
}
