// Run by KWin with `want` defined above: gives our window the keyboard.
(function () {
    const clients = workspace.clientList();
    for (let i = 0; i < clients.length; ++i) {
        if (clients[i].pid === want.pid && clients[i].caption === want.caption)
            workspace.activeClient = clients[i];
    }
    callDBus(want.service, want.path, want.interface, "activated");
})();
