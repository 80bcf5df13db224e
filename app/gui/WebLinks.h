// The web pages the client opens: the site, the store, the web console, the
// help centre and the account service's registration and password recovery.
// Their base address is set at build time (QV_WEB_URL); the paths are fixed.
#pragma once

#include <QString>

class WebLinks {
public:
    static QString site();             // "/"
    static QString storeTraffic();     // "/store/traffic/"
    static QString storePlan();        // "/store/plan-create/"
    static QString storeModify();      // "/store/plan-modify/"
    static QString storeRenew();       // "/store/plan-renew/"
    static QString console();          // "/console/"
    static QString help();             // the help centre, "from" = "qvr_v2"
    static QString gatewayHelp();      // the help centre's page on the gateway authorisation
    static QString accountForget();    // "/account/forget/"
    static QString accountRegister();  // "/account/register/"

private:
    static QString _page(char const* path);
};
