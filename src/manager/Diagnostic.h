#ifndef VELQOR_DIAGNOSTIC_H
#define VELQOR_DIAGNOSTIC_H

#include "NetworkInterface.h"
#include "Phrase.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velqor {

struct DeviceDetails;

/// Something wrong with a device's addressing, or with the workstation's.
struct Diagnostic {
    enum class Kind {
        /// Outside the subnet of the interface it answered on: it can be
        /// re-addressed, but companion programs cannot reach it.
        WrongSubnet,
        /// Another serial answers from the same address.
        AddressConflict,
        /// Its serial answered from more than one address: several devices
        /// share it, and a change sent to it would move them all.
        SeveralAddresses,
        /// The system drops answers arriving on the interface from sources it
        /// has no route back to through that interface.
        ReversePathFilter,
    };

    Kind kind;
    /// A short text for the user.
    std::string text;
    /// For a workstation diagnostic: the command that fixes it.
    std::string fix;
    /// The text, translatable.
    Phrase phrase;

    /// Its text from its phrase.
    static Diagnostic Of(Kind kind, Phrase phrase, std::string fix = {});

    /// A stable identifier for scripts, e.g. "wrong-subnet".
    std::string Id() const;
};

using DirectRouteCheck = std::function<std::optional<unsigned>(const Ipv4Bytes &)>;

/// Fills in the warnings of every device; own lists the workstation's
/// networks, every address of every interface. A device heard on one address
/// of an interface but in the subnet of another of its addresses is named by
/// that one and is on no wrong subnet; nor is one outside every subnet of
/// its interface that the workstation reaches directly through it (an
/// interface with a /32 address and a route through it, say): direct says
/// through which interface it reaches an address directly, if any.
void Diagnose(std::vector<DeviceDetails> &devices, const std::vector<NetworkInterface> &own,
              const DirectRouteCheck &direct = DirectRouteInterface);

/// Why a search may have found nothing, for a person: the networks it
/// searched, the interfaces it could not use, and the likely causes.
std::string NothingFoundHint(const std::vector<NetworkInterface> &searched,
                             const std::vector<std::string> &withoutIpv4 = ListInterfacesWithoutIpv4());
/// The same, one translatable phrase per clause ("; " between them).
std::vector<Phrase> NothingFoundPhrases(const std::vector<NetworkInterface> &searched,
                                        const std::vector<std::string> &withoutIpv4 = ListInterfacesWithoutIpv4());

using ReversePathCheck = std::function<std::optional<bool>(const NetworkInterface &, const Ipv4Bytes &)>;

/// What is wrong with the workstation's own networks: a reverse-path filter
/// that drops answers arriving on an interface, from the sources that
/// matter there: the devices heard on it (heard, by interface name), the
/// usual factory defaults (192.168.0.x, 192.168.1.x, 10.0.0.x, 172.16.0.x),
/// a link-local and a public address.
std::vector<Diagnostic> DiagnoseWorkstation(const std::vector<NetworkInterface> &own,
                                            const std::map<std::string, std::vector<Ipv4Bytes>> &heard = {},
                                            const ReversePathCheck &accepts = ReversePathAccepts);

} // namespace velqor

#endif // VELQOR_DIAGNOSTIC_H
