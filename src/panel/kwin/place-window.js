// Run by KWin with `want` defined above: puts our window where asked whenever it appears (again after
// being hidden), keeps its bottom edge where it is when the window changes its height (KWin keeps the
// top), follows the user where they drag it, and tells the program each time the window is in place.
(function () {
    let bottom = want.bottom;
    function ours(client) {
        return client.pid === want.pid && client.caption === want.caption;
    }
    function follow(client) {
        client.frameGeometryChanged.connect(function (changed, old) {
            const frame = client.frameGeometry;
            if (frame.height === old.height)
                bottom = frame.y + frame.height;
            else if (frame.y + frame.height !== bottom)
                client.frameGeometry = {x: frame.x, y: bottom - frame.height, width: frame.width, height: frame.height};
        });
    }
    function put(client) {
        const frame = client.frameGeometry;
        client.frameGeometry = {x: want.x, y: bottom - frame.height, width: frame.width, height: frame.height};
        if (want.activate)
            workspace.activeClient = client;
        follow(client);
        callDBus(want.service, want.path, want.interface, "placed");
    }
    const clients = workspace.clientList();
    for (let i = 0; i < clients.length; ++i) {
        if (ours(clients[i]))
            put(clients[i]);
    }
    workspace.clientAdded.connect(function (client) {
        if (ours(client))
            put(client);
    });
})();
